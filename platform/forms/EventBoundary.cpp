#include "platform/forms/EventBoundary.h"

#include "platform/forms/MessageService.h"

#include <QCoreApplication>

#include <exception>

namespace {

TExceptionHandler& Handler()
{
    static TExceptionHandler handler;
    return handler;
}

void ShowDefault(const Exception& error)
{
    ShowMessageBox(error.Message(), QCoreApplication::applicationName(), TMsgIcon::Error, TMsgButtons::OK);
}

void Report(const Exception& error)
{
    if (Handler())
        Handler()(error);
    else
        ShowDefault(error);
}

} // namespace

TExceptionHandler SetEventExceptionHandler(TExceptionHandler handler)
{
    TExceptionHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

void HandleEventException() noexcept
{
    try {
        try {
            throw;
        } catch (const EAbort&) {
        } catch (const Exception& error) {
            Report(error);
        } catch (const std::exception& error) {
            Report(Exception(QString::fromUtf8(error.what())));
        } catch (...) {
            Report(Exception(QStringLiteral("Unknown exception")));
        }
    } catch (...) {
        // The handler itself failed (a message box that could not be shown):
        // nothing may leave this function, and there is nobody left to tell.
    }
}
