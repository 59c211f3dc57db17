#pragma once
#include "platform/objects/ClassRegistry.h"

#include <QString>

// Registers the window classes of the application shell (main window,
// ISO-guide, tolerances over wires, zero-search notice) with the class
// registry, after the forms layer's own classes and the report project
// component (with the registration procedures of every report unit
// recorded). Calling it again does nothing.
void RegisterAppClasses();

// Registers a window class under its name, derived from TForm, unless a
// class of that name is registered already.
template <class T> void RegisterWindow(const char* name)
{
    const QString className = QString::fromLatin1(name);
    if (!FindClass(className))
        RegisterClass<T>(className, QStringLiteral("TForm"));
}
