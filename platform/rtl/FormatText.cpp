#include "platform/rtl/FormatText.h"
