#include "calc/Utollerance.h"

#include "app/core/Ulength.h"
#include "app/core/Unan.h"

#include <cstring>
#include <type_traits>

static_assert(std::is_trivially_copyable_v<TOLLERANCE>);

void ClearToleranceRecord(TOLLERANCE& record)
{
    std::memset(&record, 0, sizeof record);
}

void ConvertToleranceToMm(TOLLERANCE& record)
{
    double* const lengths[] = {
        &record.MaxPi, &record.MinPi, &record.MaxP,  &record.MinP,  &record.LogP,   &record.MedP,
        &record.MaxPe, &record.MinPe, &record.MaxNi, &record.MinNi, &record.MaxN,   &record.MinN,
        &record.LogN,  &record.MedN,  &record.MaxNe, &record.MinNe, &record.TPasso, &record.HMis1,
        &record.HMis2,
    };
    for (double* value : lengths)
        if (!IsNan(*value))
            *value *= MmPerInch;
}
