#include "calc/Utollerance.h"

#include <cstring>
#include <type_traits>

static_assert(std::is_trivially_copyable_v<TOLLERANCE>);

void ClearToleranceRecord(TOLLERANCE& record)
{
    std::memset(&record, 0, sizeof record);
}
