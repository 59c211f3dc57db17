// The driver library: its one driver object is made when it is loaded.
#include "TestDataDriver.h"

__attribute__((constructor)) static void RegisterMemoryDriver()
{
    RegisterDataDriver(MakeMemoryDriver());
}
