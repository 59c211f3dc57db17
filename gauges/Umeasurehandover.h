#pragma once
// "Measure Gage" and "Measure Piece" of the process windows: the window's
// diameter, pitch, starts and angles, then the gauge's Go and No-go ranges
// or the workpiece limits, go into the main window's measuring tab, which
// comes to the front; the window closes (modal result 2).
class NCLIST;
class TCustomForm;

// The window's controls are found by name; values is its length list. An
// angle text that is no number raises the conversion error before anything
// is copied.
void HandOverToMeasuring(TCustomForm* window, const NCLIST& values, bool workpiece);
