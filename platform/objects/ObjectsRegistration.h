#pragma once
// Registers the classes of this layer: TObject, TPersistent, TComponent (with
// its published Name, not stored, and Tag), TCollectionItem, TCollection and
// TStrings. Called once at start-up before any other registration; calling it
// again does nothing.
void RegisterObjectsClasses();
