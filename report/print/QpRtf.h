#pragma once
// QpRtf: rich text (RTF) imported as report text with in-text formatting
// codes (QpFormat), and shown in a Qt document by way of those codes.
//
// Text is emitted with a code block only where the format changes: whichever
// is shorter of R plus the difference from the default state and the
// difference from the state last emitted. What is read: the font table, the
// colour table, the character formatting (b, i, ul, ulnone, strike, sub,
// super, nosupersub, f, fs, cf, plain, pntext), the paragraph formatting
// (ql, qc, qr, qj, pard, fi, li, ri), hidden text (v), and the special
// characters (par, tab, bullet, endash, emdash, lquote, rquote, ldblquote,
// rdblquote, \'hh as a character 0 to 255). Document information, headers,
// footers, footnotes, pictures, style sheets and every "\*" group are skipped;
// other control words are ignored. Any bytes convert: unbalanced groups and
// cut control words end the text where they stand.
#include <QString>

class QTextDocument;
class TStream;

// Writes the converted text into output as UTF-16 code units (no length, no
// terminator). buffer holds length bytes of rich text.
void RTFToQPTF(const char* buffer, int length, TStream& output);

// Shows rich text in a Qt document: the text converted as above, each run
// in the font, styles and colour its codes give and each paragraph with its
// justification. rtf holds the rich text's characters (8-bit, one a
// character). This is the reader the rich-edit controls show their text
// with (SetRichTextReader, installed with the report writer's classes).
void RTFToDocument(const QString& rtf, QTextDocument& document);
