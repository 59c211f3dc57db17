#pragma once
// QpFormat: in-text formatting codes. A report text is plain characters and
// code blocks; a block changes the font or the paragraph settings of the text
// that follows it and has no width of its own.
//
// A block is character 1, a command, then any number of (character 2,
// command), then character 4; a text that ends inside a block ends the block
// there. A command is one letter and its value, which runs to the next
// character 2 or 4; a character 3 inside a value is dropped. The commands:
//
//   A text   hyperlink: a value starts a link to it, an empty value ends it
//   B 1/x    bold on / off (any value but "1" is off); likewise I italic,
//            K strikeout, P superscript, S subscript, U underline
//   C int    colour (TColor, decimal)
//   F num    first-line indent, inches      (format state only)
//   G num    right indent, inches           (format state only)
//   L num    left indent, inches            (format state only)
//   H D/F/V  pitch: default, fixed, variable
//   J C/L/R/B justification: centre, left, right, block
//   N text   font name
//   Z num    font size, points
//   R        everything back to the defaults
//   r        the character styles back to the defaults (name, size kept)
//
// Unknown letters are ignored. Numbers are written with "." and read with
// "." or ",", so a text made under one locale reads the same under any other.
//
// Positions in texts are 0-based indexes of UTF-16 code units.
#include "report/print/QpDefine.h"

#include <QString>

#include <functional>

class TBaseReport;

constexpr char16_t kQPTFBlockStart = 1; // opens a code block
constexpr char16_t kQPTFNextCommand = 2;
constexpr char16_t kQPTFIgnored = 3; // dropped from a value
constexpr char16_t kQPTFBlockEnd = 4;
// Starts a macro or variable the writer keeps for the page's playback
// ("\xFD$QPCM01", "\xFD$QPCV...").
inline constexpr QStringView kQPCMacroStart = u"\u00FD$QPC";

// The largest font size a code sets, points: a character taller than any
// sheet (about 14 inches) makes no sense, and bigger values would overflow
// device sizes.
constexpr double kQPTFMaxFontSize = 1000;

// "Arial", 12 points, no styles, default pitch, colour 0, justified left,
// no indents, no enclosing state.
TFormatState NewDefaultFormatState();

// Reads the next command at or after pos: skips to the next character 1 or
// 2, takes the letter and its value, and leaves pos on the character that
// ends the value. False (cmd a space, value empty) when the text has no
// further command.
bool NextQPTFCommand(const QString& text, int& pos, QChar& cmd, QString& value);

// The next segment from pos: codes gets the code blocks standing there
// (#1 to #4, empty when none) and run the plain text after them up to the
// next block; so every block applies to the run that follows it. False when
// pos is at the end.
bool SplitQPTFText(const QString& text, int& pos, QString& run, QString& codes);

// Applies a block to a font. onLink receives the value of each A command.
// EConvertError for a C or Z value that is not a number.
void ApplyQPTFToFont(TSaveFont& font, const QString& codes,
                     const std::function<void(const QString& link)>& onLink = {});
// Applies a block to the canvas's base font; A starts or ends a link on the
// canvas when followLinks is set (measuring leaves links alone).
void ApplyQPTFToBaseFont(TBaseReport& report, const QString& codes, bool followLinks = true);
// SplitQPTFText, then ApplyQPTFToBaseFont of the segment's codes.
bool NextQPTFSegment(TBaseReport& report, const QString& text, int& pos, QString& run);
// Applies a block to a format state; R makes it a default state (its Prev
// link kept), r takes the default styles and colour.
void ApplyQPTFToFormatState(TFormatState& state, const QString& codes);

// The number of characters outside code blocks.
int QPTFTextLength(const QString& text);
int QPTFBufLength(const QChar* buffer, int length);

// Appends a command: character 1 before the first one, character 2 before
// every further one. The block is not closed.
void AddQPTFCommand(QString& codes, const QString& command);
// Appends the commands that turn oldState into newState: F, L, G, N, Z, B, I,
// U, K, S, P, C, J, each only when it differs (names without regard to case).
void FormatStateDiff(QString& codes, const TFormatState& oldState, const TFormatState& newState);
// One full block describing the state: R, the difference from the default
// state, character 4.
QString FormatStateToQPTF(const TFormatState& state);

// Width in device pixels of a text without codes in the canvas's selected
// font, the tab characters moving on to the next multiple of the fixed tab
// step (FixedTabWidth, at least one pixel). startWidth is where the text
// starts on the tab grid; the result includes it.
int TabbedTextWidth(TBaseReport& report, const QString& text, int startWidth);
// Width in device pixels of a text with codes, run by run in the fonts the
// codes select; at least 1. The canvas's font and selection are unchanged.
int QPTFTextWidth(TBaseReport& report, const QString& text);
// The largest FontHeight (report units) the runs of the text use; 0 for none.
double QPTFMaxFontHeight(TBaseReport& report, const QString& text);
// The justification a text asks for: the first J decides; an R before it
// means left; without either, def.
TPrintJustify QPTFJustify(const QString& text, TPrintJustify def);

// A number as codes write it: 15 significant digits, "." as the separator.
QString QPTFNumberText(double value);
// A number from a code value, "." or "," as the separator. EConvertError
// "'<text>' is not a valid floating point value" for anything else, and for
// infinities and NaN.
double QPTFNumber(const QString& text);
