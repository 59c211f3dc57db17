#include "platform/rtl/IniFiles.h"
