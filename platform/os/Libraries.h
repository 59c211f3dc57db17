#pragma once
// Dynamic libraries loaded at run time (dlopen): a handle per loaded
// library, symbols found by name, and the library freed again.
#include <QString>

using TLibraryHandle = void*;

// The library of that file name (a name without a folder is searched as the
// system searches libraries); null when it cannot be loaded.
TLibraryHandle LoadDynamicLibrary(const QString& fileName);
// The address of an exported symbol; null when the library has none.
void* FindLibrarySymbol(TLibraryHandle library, const char* name);
// Nothing for null.
void FreeDynamicLibrary(TLibraryHandle library);
