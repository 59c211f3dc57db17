#pragma once
// The preview target's view of its scroll box. The scroll box's unit cannot
// be included next to the report writer's definitions (both declare a
// TPosition), so the few things the target needs of it are reached here.
class TScrollBox;
class TWinControl;

namespace PreviewHost {

// The scroll box as the control it is.
TWinControl* AsControl(TScrollBox* box);
// The thickness of a scroll bar in the box's style, pixels.
int ScrollBarExtent(TScrollBox* box);
int HorzPosition(TScrollBox* box);
int VertPosition(TScrollBox* box);
void SetPositions(TScrollBox* box, int horz, int vert);
// Ranges set by the target, not by the box's children.
void SetRanges(TScrollBox* box, int horz, int vert);

} // namespace PreviewHost
