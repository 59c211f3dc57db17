#pragma once
// Windows code pages. The system "Ansi" code page is fixed at 1252 (its own
// table, 0x80-0x9F included); the other Windows code pages (874, 932, 936,
// 949, 950, 1250-1258) go through glibc's iconv. Characters a code page
// cannot hold become '?'.
#include <QByteArray>
#include <QString>

constexpr int CP_ACP = 0; // the system Ansi code page

int SystemAnsiCodePage(); // 1252
bool IsCodePageSupported(int codePage);
// codePage CP_ACP means SystemAnsiCodePage(). An unsupported code page raises
// EConvertError.
QString AnsiToUnicode(const QByteArray& bytes, int codePage = CP_ACP);
QByteArray UnicodeToAnsi(const QString& text, int codePage = CP_ACP);
