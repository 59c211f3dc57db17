#include "platform/rtl/Exceptions.h"

Exception::Exception(const QString& message) : FMessage(message), FWhat(message.toUtf8()) {}

Exception::~Exception() = default;

void Exception::SetMessage(const QString& message)
{
    FMessage = message;
    FWhat = message.toUtf8();
}

const char* Exception::what() const noexcept
{
    return FWhat.constData();
}

void Abort()
{
    throw EAbort();
}
