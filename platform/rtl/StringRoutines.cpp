#include "platform/rtl/StringRoutines.h"
