#include "platform/os/Libraries.h"

#include <QFile>

#include <dlfcn.h>

TLibraryHandle LoadDynamicLibrary(const QString& fileName)
{
    if (fileName.isEmpty())
        return nullptr;
    return dlopen(QFile::encodeName(fileName).constData(), RTLD_NOW | RTLD_LOCAL);
}

void* FindLibrarySymbol(TLibraryHandle library, const char* name)
{
    return library ? dlsym(library, name) : nullptr;
}

void FreeDynamicLibrary(TLibraryHandle library)
{
    if (library)
        dlclose(library);
}
