#pragma once
// Registers the window classes of the application shell (main window,
// ISO-guide, tolerances over wires, zero-search notice) with the class
// registry, after the forms layer's own classes and the report project
// component (with the registration procedures of every report unit
// recorded). Calling it again does nothing.
void RegisterAppClasses();
