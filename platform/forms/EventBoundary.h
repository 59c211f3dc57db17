#pragma once
// The boundary between the Qt event loop and the program's handlers. Every
// piece of code that Qt calls (a signal of a widget, an event override, a
// timer) runs inside GuardEvent: an exception it raises goes to the installed
// exception handler and never travels back into Qt. EAbort ends the handler
// silently.
//
// The application object installs its default exception dialog as the
// handler; before that (and after it is gone) a message box titled with the
// Qt application name shows the message.
#include "platform/rtl/Exceptions.h"

#include <functional>

using TExceptionHandler = std::function<void(const Exception& error)>;

// Replaces the handler; an empty one restores the default. Returns the
// handler it replaced.
TExceptionHandler SetEventExceptionHandler(TExceptionHandler handler);

// Call only inside a catch block: hands the exception being handled to the
// handler (EAbort excepted). Exceptions that are not the program's own are
// wrapped in an Exception with their what() text. Never throws.
void HandleEventException() noexcept;

// Runs the code and hands whatever it throws to HandleEventException.
template <class F> void GuardEvent(F&& code) noexcept
{
    try {
        code();
    } catch (...) {
        HandleEventException();
    }
}
