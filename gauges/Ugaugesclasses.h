#pragma once
// Registers the window classes of the gauge pickers, process windows, entry
// dialogs and wizards with the class registry, after those of the
// application shell. Calling it again does nothing.
void RegisterGaugesClasses();
