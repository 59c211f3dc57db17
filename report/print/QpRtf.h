#pragma once
// QpRtf: rich text (RTF) imported as report text with in-text formatting
// codes (QpFormat).
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
class TStream;

// Writes the converted text into output as UTF-16 code units (no length, no
// terminator). buffer holds length bytes of rich text.
void RTFToQPTF(const char* buffer, int length, TStream& output);
