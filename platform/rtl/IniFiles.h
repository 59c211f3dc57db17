#pragma once
// An ini file with the runtime's semantics: sections and keys compared
// without regard to case, typed reads with defaults, and every other line
// (comments, blank lines, unknown text) kept when the file is rewritten.
//
// Opening and reading never create the file; only a write does. Each write
// goes to the file at once through SaveBytesToFile, so an interrupted write
// never leaves half a file. A failed write raises EIniFileException, naming
// the file and the reason, and leaves the old file intact.
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/StringList.h"

#include <QString>

RTL_EXCEPTION_CLASS(EIniFileException, Exception);

class TIniFile {
public:
    explicit TIniFile(const QString& fileName);

    const QString& FileName() const { return FFileName; }

    QString ReadString(const QString& section, const QString& ident, const QString& def) const;
    void WriteString(const QString& section, const QString& ident, const QString& value);
    // Decimal or hexadecimal ("$1F", "0x1F"); the default on bad text.
    int ReadInteger(const QString& section, const QString& ident, int def) const;
    void WriteInteger(const QString& section, const QString& ident, int value);
    // Any integer other than 0 is true; written as "1" / "0".
    bool ReadBool(const QString& section, const QString& ident, bool def) const;
    void WriteBool(const QString& section, const QString& ident, bool value);
    // Through FloatToStr / StrToFloat with the current decimal separator.
    double ReadFloat(const QString& section, const QString& ident, double def) const;
    void WriteFloat(const QString& section, const QString& ident, double value);

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& ident) const;
    void ReadSection(const QString& section, TStringList& idents) const;
    void ReadSections(TStringList& sections) const;
    void ReadSectionValues(const QString& section, TStringList& values) const;
    void EraseSection(const QString& section);
    void DeleteKey(const QString& section, const QString& ident);
    // Writes go straight to the file; this exists for callers that flush.
    void UpdateFile() {}

private:
    QString FFileName;
};
