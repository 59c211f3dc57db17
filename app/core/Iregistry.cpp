#include "app/core/Iregistry.h"

#include "platform/os/DataFolders.h"
#include "platform/rtl/IniFiles.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString& GlobalFolder()
{
    static QString folder = OstrivalDataFolder;
    return folder;
}

uint64_t FileReads = 0;

QString Prefix(uint32_t root)
{
    switch (root) {
    case HKEY_LOCAL_MACHINE:
        return QStringLiteral("lm_");
    case HKEY_CURRENT_USER:
        return QStringLiteral("cu_");
    default:
        return QString();
    }
}

// The local form of a folder, ending in "/".
QString LocalFolder(const QString& windowsFolder)
{
    QString folder = MapWindowsPath(windowsFolder);
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

} // namespace

void SetIRegistryFolder(const QString& folder)
{
    GlobalFolder() = folder;
}

QString IRegistryFolder()
{
    return GlobalFolder();
}

uint64_t IRegistryFileReads()
{
    return FileReads;
}

TIRegistry::TIRegistry() = default;

TIRegistry::~TIRegistry()
{
    CloseKey();
}

QString TIRegistry::FileName() const
{
    return LocalFolder(FFolder.isEmpty() ? GlobalFolder() : FFolder) + Prefix(FRootKey) +
           QStringLiteral("iregistry.ini");
}

bool TIRegistry::OpenKey(const QString& key, bool canCreate)
{
    FCurrentKey = key;
    const QString fileName = FileName();
    CloseKey();
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        return false;
    if (!canCreate && !QFileInfo(fileName).isFile())
        return false;
    FIniFile = std::make_unique<TIniFile>(fileName);
    if (!canCreate && !FIniFile->SectionExists(key))
        return false;
    return true;
}

void TIRegistry::CloseKey()
{
    FIniFile.reset();
}

bool TIRegistry::IsOpen() const
{
    return FIniFile && !FCurrentKey.isEmpty();
}

bool TIRegistry::Reading() const
{
    if (!IsOpen())
        return false;
    ++FileReads;
    return true;
}

bool TIRegistry::ValueExists(const QString& name) const
{
    return Reading() && FIniFile->ValueExists(FCurrentKey, name);
}

bool TIRegistry::ReadBool(const QString& name) const
{
    return Reading() && FIniFile->ReadBool(FCurrentKey, name, false);
}

int TIRegistry::ReadInteger(const QString& name) const
{
    return Reading() ? FIniFile->ReadInteger(FCurrentKey, name, 0) : 0;
}

double TIRegistry::ReadFloat(const QString& name) const
{
    return Reading() ? FIniFile->ReadFloat(FCurrentKey, name, 0.0) : 0.0;
}

QString TIRegistry::ReadString(const QString& name) const
{
    return Reading() ? FIniFile->ReadString(FCurrentKey, name, QString()) : QStringLiteral("0");
}

QMap<QString, QString> TIRegistry::ReadValues() const
{
    QMap<QString, QString> values;
    if (!Reading())
        return values;
    TStringList lines;
    FIniFile->ReadSectionValues(FCurrentKey, lines);
    for (int i = 0; i < lines.Count(); ++i) {
        const QString line = lines.Strings(i);
        const qsizetype equals = line.indexOf(u'=');
        if (equals >= 0)
            values.insert(line.left(equals), line.mid(equals + 1));
    }
    return values;
}

void TIRegistry::WriteBool(const QString& name, bool value)
{
    if (IsOpen())
        FIniFile->WriteBool(FCurrentKey, name, value);
}

void TIRegistry::WriteInteger(const QString& name, int value)
{
    if (IsOpen())
        FIniFile->WriteInteger(FCurrentKey, name, value);
}

void TIRegistry::WriteFloat(const QString& name, double value)
{
    if (IsOpen())
        FIniFile->WriteFloat(FCurrentKey, name, value);
}

void TIRegistry::WriteString(const QString& name, const QString& value)
{
    if (IsOpen())
        FIniFile->WriteString(FCurrentKey, name, value);
}
