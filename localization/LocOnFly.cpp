#include "localization/LocOnFly.h"

#include "localization/KHelpers.h"
#include "localization/LocLangFile.h"

#include "platform/rtl/FormatText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

// The program's file name without its extension: the <program> of
// <program>.<ext>.lng.
QString ProgramBaseName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

// name matches <program>.*.lng without regard to case ("*" may be empty).
bool IsLanguageFileName(const QString& name, const QString& program)
{
    const QString prefix = program + u'.';
    const QString suffix = QStringLiteral(".lng");
    return name.size() >= prefix.size() + suffix.size() && name.startsWith(prefix, Qt::CaseInsensitive) &&
           name.endsWith(suffix, Qt::CaseInsensitive);
}

} // namespace

int TLFInfoList::Add(std::unique_ptr<TLFInfo> info)
{
    int index = 0;
    while (index < Count() &&
           Items(index)->EnglishName().compare(info->EnglishName(), Qt::CaseSensitive) <= 0)
        ++index;
    Insert(index, std::move(info));
    return index;
}

int TLFInfoList::IndexByLocaleEx(uint32_t locale, bool processNative) const
{
    for (int i = 0; i < Count(); ++i) {
        const TLFInfo* info = Items(i);
        if (info->Locale() == locale && (processNative || !info->Native()))
            return i;
    }
    return -1;
}

bool TLFInfoList::IsResLanguage(uint32_t locale) const
{
    const int index = IndexByLocale(locale);
    return index >= 0 && Items(index)->FileName().isEmpty();
}

int TLFInfoList::NativeIndex() const
{
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Native())
            return i;
    return -1;
}

void TLFInfoList::SetFolder(const QString& folder)
{
    if (folder == FFolderPath)
        return;
    const QString fullPath =
        QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(folder));
    if (!QFileInfo(fullPath).isDir())
        throw ELocOnFlyError(Format(LibraryMessage(sKPathDoesNotExist), fullPath));
    FFolderPath = folder;
    FFullPath = fullPath;
    Scan();
}

void TLFInfoList::Scan()
{
    const QString program = ProgramBaseName();
    const QDir dir(FFullPath);
    // Sorted as the names compare without regard to case, so that which of
    // two files of one language wins does not depend on the file system.
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names) {
        if (!IsLanguageFileName(name, program))
            continue;
        const QString path = dir.filePath(name);
        if (!QFileInfo(path).isFile())
            continue;
        try {
            const TLangFile file(path, true);
            TLFInfo* info;
            const int index = IndexByLocale(file.Locale());
            if (index >= 0) {
                info = Items(index);
                info->SetEnglishName(file.LangEnglishName());
            } else {
                auto entry = std::make_unique<TLFInfo>(this);
                entry->SetLocale(file.Locale());
                entry->SetEnglishName(file.LangEnglishName());
                entry->SetLocalizedName(file.LangLocalizedName());
                info = entry.get();
                Add(std::move(entry));
            }
            info->SetFileName(name);
            info->SetNative(file.IsNative());
            info->SetVersion(uint32_t(file.Version()));
            info->SetBuild(file.Build());
        } catch (const Exception&) {
            // An unreadable or malformed language file is not offered.
        }
    }
}
