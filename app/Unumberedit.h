#pragma once
// The edit boxes of the forms layer as the bound edits of a length list
// (NCLIST): every TEdit has at most one adapter, made on first use and
// destroyed with the edit, so any window can name the same edit to any list.
//
//   fTessvar->LengthList.SetValue(NumberEditOf(fTessvar->eTD), 10.0);
#include "app/core/Unumber.h"

class TEdit;

// The adapter of an edit; null for a null edit.
TNumberEdit* NumberEditOf(TEdit* edit);
// The edit behind an adapter made by NumberEditOf; null for another one.
TEdit* EditOfNumber(TNumberEdit* number);
