#include "platform/rtl/Extended80.h"
