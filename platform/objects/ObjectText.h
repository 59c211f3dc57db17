#pragma once
// The text form of the component stream and its conversion to and from the
// binary form:
//
//   object Form1: TForm1              (also "inherited", "inline"; "object
//     Caption = 'Main'#13#10'window'   TClass" without a name; " [3]" after
//     Width = 300                      the class gives a child position)
//     Font.Name = 'Arial'
//     Anchors = [akLeft, akTop]
//     Items.Strings = (
//       'one'
//       'two')
//     Glyph.Data = {
//       0102030405}
//     Columns = <
//       item
//         Width = 10
//       end>
//     Ratio = 1.5                     (suffix s: single, c: currency,
//     OnClick = Button1Click           d: date; otherwise extended)
//     object Button1: TButton
//     end
//   end
//
// Strings are quoted pieces and #nnn (or #$hh) characters written together,
// joined across lines with "+". Text is read as UTF-8. Numbers always use '.'.
// A string is written as a short or long string when all its characters are
// ASCII, else as a wide string; integers take the smallest tag that holds them.
// The binary form written back as text and converted again gives the same
// bytes.
#include "platform/rtl/Exceptions.h"

#include <QByteArray>
#include <QString>

class TStream;

// A syntax error in the text form: "Line <n>: <what> expected but <found>
// found".
RTL_EXCEPTION_CLASS(EParserError, Exception);

// Converts one object (with its tree) from the input's position.
void ObjectTextToBinary(TStream& input, TStream& output);
// Converts one binary object (signature first) to text; a damaged stream
// raises EReadError, and so does a float that is not a number or infinite
// (the text form has no way to write one). Lines end with LF and are indented
// by two spaces per level.
void ObjectBinaryToText(TStream& input, TStream& output);

QByteArray ObjectTextToBinary(const QByteArray& text);
QByteArray ObjectBinaryToText(const QByteArray& binary);
