#pragma once
// The program's exception hierarchy. Every failure the program raises derives
// from Exception, which carries a user-readable QString message. EAbort is the
// silent abort: it ends an operation and no dialog shows it.
#include <QByteArray>
#include <QString>

#include <exception>

class Exception : public std::exception {
public:
    explicit Exception(const QString& message = QString());
    ~Exception() override;

    const QString& Message() const { return FMessage; }
    void SetMessage(const QString& message);
    const char* what() const noexcept override;

private:
    QString FMessage;
    QByteArray FWhat; // UTF-8 copy of the message for what()
};

// Declares an exception class that takes its parent's constructors.
#define RTL_EXCEPTION_CLASS(Name, Parent)                                                              \
    class Name : public Parent {                                                                       \
    public:                                                                                            \
        using Parent::Parent;                                                                          \
    }

class EAbort : public Exception {
public:
    EAbort() : Exception(QStringLiteral("Operation aborted")) {}
    using Exception::Exception;
};

RTL_EXCEPTION_CLASS(EConvertError, Exception);
RTL_EXCEPTION_CLASS(EListError, Exception);
RTL_EXCEPTION_CLASS(EInvalidCast, Exception);
RTL_EXCEPTION_CLASS(EInvalidOperation, Exception);

// Streams and filers.
RTL_EXCEPTION_CLASS(EStreamError, Exception);
RTL_EXCEPTION_CLASS(EFilerError, EStreamError);
RTL_EXCEPTION_CLASS(EReadError, EFilerError);
RTL_EXCEPTION_CLASS(EWriteError, EFilerError);
RTL_EXCEPTION_CLASS(EFileStreamError, EStreamError);
RTL_EXCEPTION_CLASS(EFOpenError, EFileStreamError);
RTL_EXCEPTION_CLASS(EFCreateError, EFileStreamError);

class EInOutError : public Exception {
public:
    EInOutError(const QString& message, int errorCode) : Exception(message), ErrorCode(errorCode) {}
    int ErrorCode;
};

// Integer faults.
RTL_EXCEPTION_CLASS(EIntError, Exception);
RTL_EXCEPTION_CLASS(EDivByZero, EIntError);
RTL_EXCEPTION_CLASS(EIntOverflow, EIntError);
RTL_EXCEPTION_CLASS(ERangeError, EIntError);

// Floating-point faults; the checked arithmetic of RtlMath raises them.
RTL_EXCEPTION_CLASS(EMathError, Exception);
RTL_EXCEPTION_CLASS(EInvalidOp, EMathError);
RTL_EXCEPTION_CLASS(EZeroDivide, EMathError);
RTL_EXCEPTION_CLASS(EOverflow, EMathError);
RTL_EXCEPTION_CLASS(EUnderflow, EMathError);

// Raises the silent abort.
[[noreturn]] void Abort();
