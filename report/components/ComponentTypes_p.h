#pragma once
// Property types the printable components publish. Private to
// report/components: other folders see the properties only through the class
// registry.
#include "platform/graphics/Colors.h"
#include "platform/objects/TypInfo.h"

class TClassInfo;

// A length in inches, streamed as an extended float.
const TTypeInfo& ZarvUnitsType();
const TTypeInfo& ZarvColorType();
const TTypeInfo& ZarvPenStyleType();
const TTypeInfo& ZarvLineWidthType();
const TTypeInfo& ZarvFillStyleType();
const TTypeInfo& ZarvPrintJustifyType();
const TTypeInfo& ZarvMatchSideType();
const TTypeInfo& ZarvCursorType();

// Publishes Height (unless withHeight is false), Left, Top and Width of a
// control class, in that order.
void PublishZarvBounds(TClassInfo& info, bool withHeight = true);
