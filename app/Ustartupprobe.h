#pragma once
// The start-up probe: with it installed, a program writes the line "shown"
// to its standard output once its window has painted for the first time,
// and ends there at once. The start-up benchmark starts programs with it
// and times them from the outside, from process start to that line.
class QWidget;

// The environment variable that makes the program install the probe.
inline constexpr char StartUpProbeVariable[] = "TESSVAR_STARTUP_PROBE";

// Installs the probe on a top-level window.
void InstallStartUpProbe(QWidget* window);

// With the probe asked for, installed before any window is made: a message
// box that the program shows (an error at its start, before the main window
// can paint) writes "message " and its text, on one line, to the standard
// output, and is answered with its default button, so that the program
// goes on as it would for a user who read the box.
void InstallStartUpMessageProbe();
