#include "platform/rtl/StringList.h"
