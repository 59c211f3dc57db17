#pragma once
// Dynamic libraries loaded at run time (dlopen underneath): the drivers a
// report reaches its databases through, and the query editor.
//
// Handles are the dynamic loader's own; nullptr means none. Symbols of a
// loaded library stay private to it (RTLD_LOCAL), so two drivers may export
// the same names.
#include <QString>

using TLibHandle = void*;

// Loads the library file; nullptr when it cannot be loaded (LastLibraryError
// tells why).
TLibHandle LoadDynLibrary(const QString& fileName);
// The address of an exported symbol; nullptr when the library or the symbol
// is missing.
void* FindLibrarySymbol(TLibHandle library, const char* name);
// Unloads a library loaded with LoadDynLibrary; false for nullptr or a
// failure.
bool FreeDynLibrary(TLibHandle library);
// The loader's text for the last failure of this thread; empty when none.
QString LastLibraryError();
