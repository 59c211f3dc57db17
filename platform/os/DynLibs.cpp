#include "platform/os/DynLibs.h"

#include <QFile>

#include <dlfcn.h>

namespace {

thread_local QString lastError;

void KeepError()
{
    const char* text = dlerror();
    lastError = text ? QString::fromLocal8Bit(text) : QString();
}

} // namespace

TLibHandle LoadDynLibrary(const QString& fileName)
{
    if (fileName.isEmpty()) {
        lastError = QStringLiteral("No library file named");
        return nullptr;
    }
    TLibHandle handle = dlopen(QFile::encodeName(fileName).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        KeepError();
    return handle;
}

void* FindLibrarySymbol(TLibHandle library, const char* name)
{
    if (!library || !name)
        return nullptr;
    dlerror();
    void* symbol = dlsym(library, name);
    if (!symbol)
        KeepError();
    return symbol;
}

bool FreeDynLibrary(TLibHandle library)
{
    if (!library)
        return false;
    if (dlclose(library) != 0) {
        KeepError();
        return false;
    }
    return true;
}

QString LastLibraryError()
{
    return lastError;
}
