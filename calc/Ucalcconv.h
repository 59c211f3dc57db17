#pragma once
// The calling convention of the thread-standard calculators (every unit of
// calc/ follows it).
//
// - A calculator is a plain function that returns true on success and false
//   on failure. It never reads or touches a window: every input is a
//   parameter (numbers as double, lengths in millimetres), and on failure it
//   has already told the user through ShowCalcMessage (the message service
//   of platform/forms; tests install the scripted one).
// - The gauge type is passed as const CALIBRETYPE&, the result record as
//   TOLLERANCE& (cleared by the caller with ClearToleranceRecord and filled
//   in place). A failed calculation may leave fields it had written.
// - The texts that the process windows exchange with a calculator (diameter,
//   pitch, angle, tolerance, designation, class) are TCalcText: a text of at
//   most 39 characters, like the 40-byte buffers of the program's windows.
//   Longer texts are cut at 39 UTF-16 code units (never inside a surrogate
//   pair), so no calculator can produce a text the windows cannot hold.
// - A calculator raises no exception for bad input: a value that is not a
//   number, out of range or not tabulated ends in its own error message.
#include "platform/rtl/FormatText.h"

#include <QString>

#include <vector>

class TCalcText {
public:
    static constexpr int Capacity = 39; // characters; the buffers are 40 bytes with the terminator

    TCalcText() = default;
    explicit TCalcText(const QString& text) { Assign(text); }
    TCalcText& operator=(const QString& text)
    {
        Assign(text);
        return *this;
    }

    // Keeps at most Capacity characters of text.
    void Assign(const QString& text);
    // Appends text, keeping at most Capacity characters in all.
    void Append(const QString& text);

    const QString& Text() const { return FText; }
    bool IsEmpty() const { return FText.isEmpty(); }
    bool operator==(const QString& text) const { return FText == text; }

private:
    QString FText;
};

// String-table id of the caption of the calculators' messages ("ATTENTION").
constexpr int CalcMessageCaptionId = 999;

// Shows string-table text textId, formatted with args (printf style, as
// Format does), in a message box with caption text 999 and the question
// icon. A text whose format does not fit the arguments (a wrong translation)
// is shown as it stands rather than raising.
void ShowCalcMessage(int textId, const std::vector<FormatArg>& args = {});
