#include "platform/rtl/CodePages.h"
