#include "platform/os/Libraries.h"

#include <QFile>

#include <dlfcn.h>

TLibraryHandle LoadDynamicLibrary(const QString& fileName)
{
    if (fileName.isEmpty())
        return nullptr;
    return dlopen(QFile::encodeName(fileName).constData(), RTLD_NOW | RTLD_LOCAL);
}

// FindLibrarySymbol is defined once, in DynLibs.cpp.

void FreeDynamicLibrary(TLibraryHandle library)
{
    if (library)
        dlclose(library);
}
