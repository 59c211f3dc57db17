#include "platform/rtl/RtlMath.h"
