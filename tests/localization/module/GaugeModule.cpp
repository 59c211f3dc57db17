// A library module as the localizer meets one: loaded at run time, with a
// resource image of its own (its string table and the localizer's settings
// blocks, linked as bytes), and its language files made beside it by the
// build. Built twice: as a module that switches its resources through its
// "SwitchToFile" and "BackToModuleRes" entries, and (GAUGE_MODULE_PACKAGE) as
// a package whose resources the program switches.
#include "platform/os/Modules.h"

#include <QByteArray>

const QByteArray& GaugeModuleImageBytes();

namespace {

const TModuleHost* Host = nullptr;
uintptr_t Self = 0;

} // namespace

#define GAUGE_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

GAUGE_MODULE_EXPORT const char* ModuleResourceImage(size_t* size)
{
    *size = size_t(GaugeModuleImageBytes().size());
    return GaugeModuleImageBytes().constData();
}

GAUGE_MODULE_EXPORT void ModuleAttach(const TModuleHost* host, uintptr_t self)
{
    Host = host && host->Size >= sizeof(TModuleHost) ? host : nullptr;
    Self = self;
}

#ifdef GAUGE_MODULE_PACKAGE
GAUGE_MODULE_EXPORT void GetPackageInfoTable() {}
#else
// The description of the new resources is left to the caller.
GAUGE_MODULE_EXPORT int SwitchToFile(const char16_t* fileName, int length, void*)
{
    return Host ? Host->LoadResourceFile(Self, fileName, length) : 0;
}

GAUGE_MODULE_EXPORT void BackToModuleRes()
{
    if (Host)
        Host->BackToOwnResources(Self);
}
#endif
