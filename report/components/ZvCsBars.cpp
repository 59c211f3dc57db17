#include "report/components/ZvCsRpt.h"
