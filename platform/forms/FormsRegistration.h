#pragma once
// Registers the classes of the forms layer with the framework's class names
// and published properties, so that form streams create controls by class
// name and set their properties by name:
//   - the controls, windows, image lists and timers;
//   - the framework's ancestors between them (TCustomForm,
//     TScrollingWinControl, TButtonControl, TCustomEdit ...) and the
//     ancestors of windows the program has no class for (TCustomFrame,
//     TFrame, TDataModule), so that a chain of ancestor names can be walked;
//   - fonts, pens and brushes (unless registered already), pictures and
//     scroll bars, whose properties the streams set through the controls;
//   - the picture formats (bitmap, PNG, JPEG);
//   - the look-up of windows by name for references between forms.
// Calls RegisterObjectsClasses first; calling it again does nothing.
void RegisterFormsClasses();
