#include "localization/LocLangFile.h"

#include "localization/KHelpers.h"
#include "localization/kcompress.h"
#include "localization/KLocales.h"
#include "localization/LocFormProc.h"
#include "localization/WinResProc.h"
#include "platform/os/Modules.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/FileErrors.h"
#include "platform/rtl/FormatText.h"
#include "platform/rtl/NumberText.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/Streams.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputMethod>
#include <QtEndian>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>
#include <vector>

namespace {

constexpr char Signature[2] = {'L', 'F'};
constexpr uint16_t MinSaveFormatVersion = 4;
// How much of a compressed file is decompressed first to read its header.
constexpr int64_t CompressedHeaderPrefix = 2048;
constexpr int MaxCount = 0xFFFF;

// --- little-endian values --------------------------------------------------------

template <class T> T ReadValue(TStream& stream)
{
    uint8_t bytes[sizeof(T)];
    stream.ReadBuffer(bytes, sizeof bytes);
    return qFromLittleEndian<T>(bytes);
}

uint16_t ReadU16(TStream& stream)
{
    return ReadValue<uint16_t>(stream);
}

int32_t ReadI32(TStream& stream)
{
    return ReadValue<int32_t>(stream);
}

uint32_t ReadU32(TStream& stream)
{
    return ReadValue<uint32_t>(stream);
}

double ReadDouble(TStream& stream)
{
    const uint64_t bits = ReadValue<uint64_t>(stream);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

template <class T> void WriteValue(TStream& stream, T value)
{
    uint8_t bytes[sizeof(T)];
    qToLittleEndian<T>(value, bytes);
    stream.WriteBuffer(bytes, sizeof bytes);
}

void WriteU16(TStream& stream, uint16_t value)
{
    WriteValue(stream, value);
}

void WriteI32(TStream& stream, int32_t value)
{
    WriteValue(stream, value);
}

void WriteU32(TStream& stream, uint32_t value)
{
    WriteValue(stream, value);
}

void WriteDouble(TStream& stream, double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    WriteValue(stream, bits);
}

// A 16-bit count; more than a word holds is refused rather than cut.
void WriteCount(TStream& stream, int count, const char* what)
{
    if (count > MaxCount)
        throw ELangFileError(QStringLiteral("Too many %1 for a language file: %2 (at most %3)")
                                 .arg(QLatin1String(what))
                                 .arg(count)
                                 .arg(MaxCount));
    WriteU16(stream, uint16_t(count));
}

ELangFileError InvalidFormat()
{
    return ELangFileError(LibraryMessage(sKInvalidLangFileFormat));
}

// Types whose values have bytes in a file of this format.
bool HasBytes(uint8_t type, uint16_t formatVersion)
{
    if (type == ptString || type == ptStringList)
        return true;
    return formatVersion >= 4 && (type == ptFloat || type == ptInteger);
}

// --- advisory locks --------------------------------------------------------------------

class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd = -1) : FFd(fd) {}
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    ~TFileDescriptor()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    int Get() const { return FFd; }
    int Release()
    {
        const int fd = FFd;
        FFd = -1;
        return fd;
    }

private:
    int FFd;
};

// Opens the language file only where it is a regular file, never waiting on
// a FIFO or touching a device at its name: -1 otherwise.
int OpenFile(const QString& fileName, int flags)
{
    return OpenRegularFile(fileName, flags);
}

// The file may be opened for writing and nobody else holds it.
bool CanWrite(const QString& fileName)
{
    const TFileDescriptor fd(OpenFile(fileName, O_RDWR));
    return fd.Get() >= 0 && ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0;
}

EFOpenError FileInUse(const QString& fileName)
{
    return EFOpenError(
        QStringLiteral("Cannot open file \"%1\". The file is in use by another process").arg(fileName));
}

// Keeps writers out while the file is read: a shared lock on the stream's
// descriptor, released when the stream closes.
void LockShared(TFileStream& file)
{
    if (::flock(file.Handle(), LOCK_SH | LOCK_NB) != 0)
        throw FileInUse(file.FileName());
}

// A regular file stands at the name, or at the end of its links: what is
// none (a folder, a FIFO, a device) is as no file, and is never opened.
bool IsFile(const QString& fileName)
{
    return QFileInfo(fileName).isFile();
}

// The whole file as plain (decompressed) bytes in plain, positioned at its
// start. The file is closed, and its shared lock released, on return.
void ReadPlainFile(const QString& fileName, TMemoryStream& plain)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LockShared(file);
    if (IsLZKStream(file))
        LZKDecompressTo(file, plain);
    else
        CopyStreamToMemory(plain, file);
    plain.SetPosition(0);
}

// Replaces fileName by bytes through SaveBytesToFile, while
// holding an exclusive lock on the old file so that no reader that holds it
// sees it replaced.
void ReplaceFile(const QString& fileName, const QByteArray& bytes)
{
    const TFileDescriptor guard(IsFile(fileName) ? OpenFile(fileName, O_RDONLY) : -1);
    if (guard.Get() >= 0 && ::flock(guard.Get(), LOCK_EX | LOCK_NB) != 0)
        throw EFCreateError(
            QStringLiteral("Cannot create file \"%1\". The file is in use by another process").arg(fileName));
    SaveBytesToFile(fileName, bytes);
}

QByteArray Compress(const QByteArray& image)
{
    TMemoryStream source(image);
    TMemoryStream dest;
    LZKCompressStream(source, dest);
    return dest.Bytes();
}

} // namespace

// --- parsed file contents ----------------------------------------------------------------

struct TLangFile::Header {
    uint16_t FormatVersion = 0;
    int32_t Version = 0;
    uint32_t Build = 0;
    uint16_t Locale = 0;
    uint16_t BasedOnLangID = 0;
    QString EnglishName;
    QString LocalizedName;
    bool IsNative = false;
    uint16_t Attributes = 0;
    int32_t ConstMaxID = 0;
    int32_t PropertyMaxID = 0;
    int32_t ExtItemMaxID = 0;
};

struct TLangFile::Body {
    // A constant, property or external item record.
    struct Record {
        QString Name;
        uint16_t Attributes = 0;
        uint16_t StringID = 0; // constants
        int32_t ID = 0;
        uint8_t Type = ptString; // properties
        QString Text;
        int32_t Version = 0;
        TDateTime Modified = 0;
    };
    // A unit, component or external group.
    struct Container {
        QString Name;
        uint16_t Attributes = 0;
        std::vector<Record> Items;
    };
    struct Form {
        QString Name;
        uint16_t Attributes = 0;
        std::vector<Record> Properties;
        std::vector<Container> Components;
    };
    std::vector<Container> Units;
    std::vector<Form> Forms;
    std::vector<Container> Groups;
};

// --- TLangFile -----------------------------------------------------------------------------

TLangFile::TLangFile() = default;

TLangFile::TLangFile(const QString& fileName, bool readOnly) : FFileName(fileName)
{
    if (!IsFile(fileName))
        return;
    FReadOnly = readOnly || !CanWrite(fileName);
    try {
        TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
        LockShared(file);
        FCompressed = IsLZKStream(file);
        StoreHeader(FCompressed ? ReadCompressedHeader(file) : ReadHeader(file));
    } catch (Exception& error) {
        AddFileName(error, fileName);
        throw;
    }
}

TLangFile::~TLangFile()
{
    Unlock();
}

int64_t TLangFile::LoadHeaderFromStream(TStream& stream, bool skipOnly)
{
    stream.SetPosition(0);
    Header header;
    int64_t size;
    if (IsLZKStream(stream)) {
        TMemoryStream plain;
        LZKDecompressTo(stream, plain);
        plain.SetPosition(0);
        header = ReadHeader(plain);
        size = plain.Position();
    } else {
        header = ReadHeader(stream);
        size = stream.Position();
    }
    if (!skipOnly)
        StoreHeader(header);
    return size;
}

void TLangFile::LoadFromStream(TStream& stream, TLocStorage* storage, int index, TLFLoadOptions options)
{
    CheckTarget(storage, index);
    stream.SetPosition(0);
    if (IsLZKStream(stream)) {
        TMemoryStream plain;
        LZKDecompressTo(stream, plain);
        plain.SetPosition(0);
        LoadPlain(plain, *storage, index, options, true);
    } else {
        LoadPlain(stream, *storage, index, options, true);
    }
}

void TLangFile::Load(TLocStorage* storage, int index, TLFLoadOptions options)
{
    CheckTarget(storage, index);
    try {
        TMemoryStream plain;
        ReadPlainFile(FFileName, plain);
        LoadPlain(plain, *storage, index, options, false);
    } catch (Exception& error) {
        AddFileName(error, FFileName);
        throw;
    }
}

void TLangFile::Save(TLocStorage* storage, int index, bool updateItemVersion)
{
    if (FReadOnly)
        throw ELangFileError(Format(LibraryMessage(sKFileOpenedReadOnly), FFileName));
    CheckTarget(storage, index);
    if (index < 0)
        throw ELangFileError(LibraryMessage(sKInvalidIndex));
    const uint16_t formatVersion = SaveFormatVersion();
    const uint32_t build = SaveBuild(formatVersion);
    TMemoryStream image;
    WriteHeader(image, formatVersion, build);
    WriteBody(image, *storage, index, updateItemVersion, formatVersion);
    WriteFileImage(FFileName, image.Bytes());
    FFormatVersion = formatVersion;
    FBuild = build;
}

void TLangFile::SaveToStream(TStream& stream, TLocStorage* storage, int index, bool updateItemVersion)
{
    CheckTarget(storage, index);
    if (index < 0)
        throw ELangFileError(LibraryMessage(sKInvalidIndex));
    const uint16_t formatVersion = SaveFormatVersion();
    const uint32_t build = SaveBuild(formatVersion);
    TMemoryStream image;
    WriteHeader(image, formatVersion, build);
    WriteBody(image, *storage, index, updateItemVersion, formatVersion);
    stream.WriteBytes(FCompressed ? Compress(image.Bytes()) : image.Bytes());
    FFormatVersion = formatVersion;
    FBuild = build;
}

void TLangFile::SaveHeader(const QString& fileName)
{
    // The old body stays in its own format, so the new header must say that
    // format whatever the object holds.
    uint16_t formatVersion = FFormatVersion;
    QByteArray body;
    if (IsFile(fileName)) {
        TMemoryStream plain;
        ReadPlainFile(fileName, plain);
        formatVersion = ReadHeader(plain).FormatVersion;
        body = plain.Bytes().mid(qsizetype(plain.Position()));
    } else {
        body = QByteArray(6, '\0'); // no units, forms or external groups
    }
    TMemoryStream image;
    WriteHeader(image, formatVersion, FBuild);
    image.WriteBytes(body);
    WriteFileImage(fileName, image.Bytes());
    FFormatVersion = formatVersion;
}

void TLangFile::Lock()
{
    if (FHandle >= 0)
        return;
    TFileDescriptor fd(OpenFile(FFileName, O_RDONLY));
    if (fd.Get() < 0 || ::flock(fd.Get(), LOCK_SH | LOCK_NB) != 0)
        throw ELangFileError(LibraryMessage(sKCannotOpenLangFileExclusively));
    FHandle = fd.Release();
}

void TLangFile::Unlock()
{
    if (FHandle < 0)
        return;
    ::close(FHandle);
    FHandle = -1;
}

void TLangFile::SetAttribute(uint16_t index, bool value)
{
    if (value)
        FAttributes |= index;
    else
        FAttributes &= uint16_t(~index);
}

void TLangFile::SetVersion(int32_t version)
{
    if (version == FVersion)
        return;
    FVersion = version;
    FBuild = 0;
}

QLocale TLangFile::CurrentKeyboardLayout()
{
    // A console program (the build-time language tool) has no input method:
    // asking a QCoreApplication for one is undefined.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const QLocale input = QGuiApplication::inputMethod()->locale();
        // A platform without an input context answers the C locale, which
        // names no keyboard.
        if (input != QLocale::c())
            return input;
    }
    return QLocale::system();
}

// --- reading ---------------------------------------------------------------------------------

TLangFile::Header TLangFile::ReadHeader(TStream& stream)
{
    Header h;
    char signature[2];
    if (stream.Read(signature, 2) != 2 || std::memcmp(signature, Signature, 2) != 0)
        throw InvalidFormat();
    h.FormatVersion = ReadU16(stream);
    if (h.FormatVersion == 0)
        throw InvalidFormat();
    if (h.FormatVersion > CurrentFormatVersion)
        throw ELangFileError(LibraryMessage(sKLangFileTooNew));
    h.Version = ReadI32(stream);
    if (h.FormatVersion >= 5)
        h.Build = ReadU32(stream);
    h.Locale = ReadU16(stream);
    if (h.FormatVersion >= 3)
        h.BasedOnLangID = ReadU16(stream);
    // The two names always carry 16-bit lengths, whatever the format.
    h.EnglishName = AnsiToUnicode(ReadCompactAnsiString(stream, 1), CP_ACP);
    h.LocalizedName = ReadCompactWideString(stream, 1);
    h.IsNative = ReadU16(stream) != 0;
    if (h.FormatVersion >= 2)
        h.Attributes = ReadU16(stream);
    h.ConstMaxID = ReadI32(stream);
    h.PropertyMaxID = ReadI32(stream);
    if (h.FormatVersion >= 7)
        h.ExtItemMaxID = ReadI32(stream);
    return h;
}

TLangFile::Header TLangFile::ReadCompressedHeader(TStream& file)
{
    file.SetPosition(0);
    const int64_t size = file.Size();
    if (size > CompressedHeaderPrefix) {
        TMemoryStream prefix;
        prefix.CopyFrom(file, CompressedHeaderPrefix);
        prefix.SetPosition(0);
        TMemoryStream plain;
        LZKDecompressTo(prefix, plain);
        plain.SetPosition(0);
        try {
            return ReadHeader(plain);
        } catch (const EReadError&) {
            // Long names: the header runs past what the prefix decodes to.
        }
        file.SetPosition(0);
    }
    TMemoryStream plain;
    LZKDecompressTo(file, plain);
    plain.SetPosition(0);
    return ReadHeader(plain);
}

TLangFile::Body TLangFile::ReadBody(TStream& stream, uint16_t formatVersion)
{
    const uint16_t fv = formatVersion;
    auto name = [&] { return AnsiToUnicode(ReadCompactAnsiString(stream, fv), CP_ACP); };
    auto attributes = [&]() -> uint16_t { return fv >= 2 ? ReadU16(stream) : 0; };
    auto versionAndTime = [&](Body::Record& r) {
        r.Version = ReadI32(stream);
        r.Modified = ReadDouble(stream);
    };
    auto property = [&] {
        Body::Record r;
        r.Name = name();
        r.Attributes = attributes();
        r.ID = ReadI32(stream);
        const uint8_t type = uint8_t(ReadU32(stream) & 0xFF);
        // A type the format does not know may or may not have bytes: the
        // rest of the file cannot be found.
        if (type >= LocValueTypeCount)
            throw InvalidFormat();
        r.Type = type;
        if (HasBytes(type, fv)) {
            if (type == ptFloat)
                r.Text = LocFloatToText(ReadDouble(stream));
            else if (type == ptInteger)
                r.Text = IntToStr(ReadI32(stream));
            else
                r.Text = ReadCompactWideString(stream, fv);
        }
        versionAndTime(r);
        return r;
    };

    Body body;
    for (int u = ReadU16(stream); u > 0; --u) {
        Body::Container unit;
        unit.Name = name();
        unit.Attributes = attributes();
        for (int c = ReadU16(stream); c > 0; --c) {
            Body::Record r;
            r.Name = name();
            r.Attributes = attributes();
            r.StringID = ReadU16(stream);
            r.ID = ReadI32(stream);
            r.Text = ReadCompactWideString(stream, fv);
            versionAndTime(r);
            unit.Items.push_back(std::move(r));
        }
        body.Units.push_back(std::move(unit));
    }
    for (int f = ReadU16(stream); f > 0; --f) {
        Body::Form form;
        form.Name = name();
        form.Attributes = attributes();
        for (int p = ReadU16(stream); p > 0; --p)
            form.Properties.push_back(property());
        for (int c = ReadU16(stream); c > 0; --c) {
            Body::Container component;
            component.Name = name();
            component.Attributes = attributes();
            for (int p = ReadU16(stream); p > 0; --p)
                component.Items.push_back(property());
            form.Components.push_back(std::move(component));
        }
        body.Forms.push_back(std::move(form));
    }
    if (fv >= 7) {
        for (int g = ReadU16(stream); g > 0; --g) {
            Body::Container group;
            group.Name = name();
            group.Attributes = ReadU16(stream);
            for (int i = ReadU16(stream); i > 0; --i) {
                Body::Record r;
                r.Name = name();
                r.Attributes = ReadU16(stream);
                r.ID = ReadI32(stream);
                r.Text = ReadCompactWideString(stream, fv);
                versionAndTime(r);
                group.Items.push_back(std::move(r));
            }
            body.Groups.push_back(std::move(group));
        }
    }
    return body;
}

void TLangFile::LoadPlain(TStream& plain, TLocStorage& storage, int index, TLFLoadOptions options,
                          bool storeHeader)
{
    const Header header = ReadHeader(plain);
    const Body body = ReadBody(plain, header.FormatVersion);

    // A new language numbers items after the highest IDs; make sure the
    // numbers exist before the store is touched, so nothing below can fail
    // half way.
    if (index < 0) {
        auto check = [&](int32_t headerMax, int32_t storeMax, int64_t records, int32_t recordMax) {
            const int64_t highest = std::max({int64_t(headerMax), int64_t(storeMax), int64_t(recordMax)});
            if (highest + records > std::numeric_limits<int32_t>::max())
                throw InvalidFormat();
        };
        int64_t constants = 0, properties = 0, items = 0;
        int32_t constMax = 0, propMax = 0, itemMax = 0;
        for (const auto& unit : body.Units)
            for (const auto& r : unit.Items) {
                ++constants;
                constMax = std::max(constMax, r.ID);
            }
        for (const auto& form : body.Forms) {
            for (const auto& r : form.Properties) {
                ++properties;
                propMax = std::max(propMax, r.ID);
            }
            for (const auto& component : form.Components)
                for (const auto& r : component.Items) {
                    ++properties;
                    propMax = std::max(propMax, r.ID);
                }
        }
        for (const auto& group : body.Groups)
            for (const auto& r : group.Items) {
                ++items;
                itemMax = std::max(itemMax, r.ID);
            }
        check(storeHeader ? header.ConstMaxID : FConstMaxID, storage.MaxConstID(), constants, constMax);
        check(storeHeader ? header.PropertyMaxID : FPropertyMaxID, storage.MaxPropID(), properties, propMax);
        check(storeHeader ? header.ExtItemMaxID : FExtItemMaxID, storage.MaxExtItemID(), items, itemMax);
    }
    if (storeHeader)
        StoreHeader(header);
    ApplyBody(body, storage, index, options);
}

void TLangFile::ApplyBody(const Body& body, TLocStorage& storage, int index, TLFLoadOptions options)
{
    const bool newLanguage = index < 0;
    const bool byName = (options & loSyncByName) != 0;
    const bool repair = newLanguage && (options & loRepair) != 0;
    const int valueIndex = newLanguage ? 0 : index;
    const uint16_t langId = uint16_t(FLocale);

    // Flat lists of the items already in the store, for matching by ID.
    TLinearPropertyList properties;
    TLinearConstantList constants;
    TLinearExternalList externals;
    if (newLanguage) {
        storage.Clear();
        storage.SetMainLangID(langId);
    } else {
        storage.Forms().FillLinearList(properties, true);
        storage.Units().FillLinearList(constants, true);
        storage.ExtGroups().FillLinearList(externals, true);
    }
    std::unordered_set<int32_t> usedConstIDs, usedPropIDs, usedItemIDs;
    auto idFor = [&](std::unordered_set<int32_t>& used, int32_t id) {
        return repair && !used.insert(id).second ? 0 : id;
    };
    FValuesTaken = 0;
    auto take = [&](TLocItem& item, const Body::Record& r, bool fileVersionForMinusOne) {
        ++FValuesTaken;
        TLocValue* value = item.Value(valueIndex);
        value->SetValue(r.Text);
        value->SetModified(r.Modified);
        value->SetValueVersion(r.Version == -1 && newLanguage && fileVersionForMinusOne ? FVersion
                                                                                        : r.Version);
        value->SetAttributes(r.Attributes);
        value->SetLangID(langId);
        if (item.MainValue()->ValueVersion() > value->ValueVersion())
            value->SetAttribute(lvaUseOlderTranslation, false);
    };

    // Units and constants.
    for (const auto& unit : body.Units) {
        if (newLanguage)
            storage.Units().Add(unit.Name)->SetAttributes(unit.Attributes);
        for (const auto& r : unit.Items) {
            FConstMaxID = std::max(FConstMaxID, r.ID);
            TLocConstant* constant = nullptr;
            if (newLanguage) {
                constant = storage.AddConstant(idFor(usedConstIDs, r.ID), unit.Name, r.Name, r.StringID);
            } else if (byName) {
                constant = storage.FindConstant(unit.Name, r.Name);
            } else {
                const int i = constants.IndexByID(r.ID);
                constant = i < 0 ? nullptr : constants.Items(i);
            }
            if (constant)
                take(*constant, r, true);
        }
    }

    // Forms, their own properties and their components' properties.
    auto applyProperty = [&](TLocForm* form, const QString& formName, const QString& compName,
                             const Body::Record& r) {
        FPropertyMaxID = std::max(FPropertyMaxID, r.ID);
        TLocProperty* property = nullptr;
        if (newLanguage) {
            property = form->AddProperty(idFor(usedPropIDs, r.ID), compName, r.Name, TLocValueType(r.Type));
        } else if (byName) {
            property = storage.FindProperty(formName, compName, r.Name);
        } else {
            const int i = properties.IndexByID(r.ID);
            property = i < 0 ? nullptr : properties.Items(i);
        }
        if (property && property->ValueType() == r.Type)
            take(*property, r, true);
    };
    for (const auto& f : body.Forms) {
        TLocForm* form = nullptr;
        if (newLanguage) {
            form = storage.Forms().Add(f.Name);
            form->SetAttributes(f.Attributes);
        }
        for (const auto& r : f.Properties)
            applyProperty(form, f.Name, QString(), r);
        for (const auto& c : f.Components) {
            if (newLanguage)
                form->Components().Add(c.Name)->SetAttributes(c.Attributes);
            for (const auto& r : c.Items)
                applyProperty(form, f.Name, c.Name, r);
        }
    }

    // External groups and items; their versions are kept as read.
    for (const auto& group : body.Groups) {
        if (newLanguage)
            storage.ExtGroups().Add(group.Name)->SetAttributes(group.Attributes);
        for (const auto& r : group.Items) {
            FExtItemMaxID = std::max(FExtItemMaxID, r.ID);
            TLocExtItem* item = nullptr;
            if (newLanguage) {
                item = storage.AddExternalItem(idFor(usedItemIDs, r.ID), group.Name, r.Name);
            } else if (byName) {
                item = storage.FindExtItem(group.Name, r.Name);
            } else {
                const int i = externals.IndexByID(r.ID);
                item = i < 0 ? nullptr : externals.Items(i);
            }
            if (item)
                take(*item, r, false);
        }
    }

    // A new language numbers the items without an ID after the highest one,
    // in ascending ID order (store order among equals).
    if (newLanguage) {
        // The highest ID present counts too: an item given a fresh ID by the
        // store may lie above what the file says.
        auto number = [](auto& list, int32_t& fileMax) {
            if (list.Count() > 0)
                fileMax = std::max(fileMax, list.Items(list.Count() - 1)->ID());
            for (int i = 0; i < list.Count(); ++i)
                if (list.Items(i)->ID() == 0)
                    list.Items(i)->SetID(++fileMax);
            return fileMax;
        };
        storage.Units().FillLinearList(constants, true);
        storage.SetMaxConstID(std::max(storage.MaxConstID(), number(constants, FConstMaxID)));
        storage.Forms().FillLinearList(properties, true);
        storage.SetMaxPropID(std::max(storage.MaxPropID(), number(properties, FPropertyMaxID)));
        storage.ExtGroups().FillLinearList(externals, true);
        storage.SetMaxExtItemID(std::max(storage.MaxExtItemID(), number(externals, FExtItemMaxID)));
    }
    FLangIndex = valueIndex;
}

void TLangFile::StoreHeader(const Header& header)
{
    FFormatVersion = header.FormatVersion;
    FVersion = header.Version;
    FBuild = header.Build;
    FLocale = header.Locale;
    FBasedOnLangID = header.BasedOnLangID;
    FLangEnglishName = header.EnglishName;
    FLangLocalizedName = header.LocalizedName;
    FIsNative = header.IsNative;
    FAttributes = header.Attributes;
    FConstMaxID = header.ConstMaxID;
    FPropertyMaxID = header.PropertyMaxID;
    FExtItemMaxID = header.ExtItemMaxID;
}

void TLangFile::CheckTarget(const TLocStorage* storage, int index) const
{
    if (!storage)
        throw ELangFileError(LibraryMessage(sKInvalidLocStorage));
    if (index >= storage->LanguageCount())
        throw ELangFileError(LibraryMessage(sKInvalidIndex));
}

// --- writing -------------------------------------------------------------------------------

uint16_t TLangFile::SaveFormatVersion() const
{
    return std::max(FFormatVersion, MinSaveFormatVersion);
}

uint32_t TLangFile::SaveBuild(uint16_t formatVersion) const
{
    return formatVersion >= 5 && FModified ? FBuild + 1 : FBuild;
}

void TLangFile::WriteHeader(TStream& out, uint16_t formatVersion, uint32_t build) const
{
    try {
        out.WriteBuffer(Signature, 2);
        WriteU16(out, formatVersion);
        WriteI32(out, FVersion);
        if (formatVersion >= 5)
            WriteU32(out, build);
        WriteU16(out, uint16_t(FLocale));
        if (formatVersion >= 3)
            WriteU16(out, FBasedOnLangID);
        WriteCompactAnsiString(out, FLangEnglishName, 1);
        WriteCompactWideString(out, FLangLocalizedName, 1);
        WriteU16(out, FIsNative ? 1 : 0);
        if (formatVersion >= 2)
            WriteU16(out, FAttributes);
        WriteI32(out, FConstMaxID);
        WriteI32(out, FPropertyMaxID);
        if (formatVersion >= 7)
            WriteI32(out, FExtItemMaxID);
    } catch (const EWriteError& e) {
        throw ELangFileError(QStringLiteral("Language name too long: %1").arg(e.Message()));
    }
}

void TLangFile::WriteBody(TStream& out, TLocStorage& storage, int index, bool updateItemVersion,
                          uint16_t formatVersion) const
{
    const uint16_t fv = formatVersion;
    auto name = [&](const QString& n) { WriteCompactAnsiString(out, n, fv); };
    // The attribute word joins the language's own bits (high byte) with the
    // item's bits, which live on its main value (low byte).
    auto valueHead = [&](const TLocItem& item) {
        name(item.Name());
        const uint16_t own = item.Value(index)->Attributes();
        WriteU16(out, uint16_t((own & 0xFF00) | (item.MainValue()->Attributes() & 0x00FF)));
    };
    auto versionAndTime = [&](const TLocItem& item) {
        const TLocValue* value = item.Value(index);
        WriteI32(out, updateItemVersion ? item.MainValue()->ValueVersion() : value->ValueVersion());
        WriteDouble(out, value->Modified());
    };
    auto writtenCount = [&](const TLocPropertyList& list) {
        int count = 0;
        for (int i = 0; i < list.Count(); ++i)
            count += HasBytes(list.Items(i)->ValueType(), fv) ? 1 : 0;
        return count;
    };
    auto properties = [&](const TLocPropertyList& list) {
        WriteCount(out, writtenCount(list), "properties");
        for (int i = 0; i < list.Count(); ++i) {
            const TLocProperty& p = *list.Items(i);
            const TLocValueType type = p.ValueType();
            if (!HasBytes(type, fv))
                continue;
            valueHead(p);
            WriteI32(out, p.ID());
            WriteU32(out, uint32_t(type) & 0x7F);
            const TLocValue* value = p.Value(index);
            if (type == ptFloat)
                WriteDouble(out, value->AsFloat());
            else if (type == ptInteger)
                WriteI32(out, value->AsInteger());
            else
                WriteCompactWideString(out, value->Value(), fv);
            versionAndTime(p);
        }
    };

    try {
        const TLocUnitList& units = storage.Units();
        WriteCount(out, units.Count(), "units");
        for (int u = 0; u < units.Count(); ++u) {
            const TLocUnit& unit = *units.Items(u);
            name(unit.Name());
            WriteU16(out, unit.Attributes());
            WriteCount(out, unit.Constants().Count(), "constants");
            for (int c = 0; c < unit.Constants().Count(); ++c) {
                const TLocConstant& constant = *unit.Constants().Items(c);
                valueHead(constant);
                if (constant.StringID() < 0 || constant.StringID() > 0xFFFF)
                    throw ELangFileError(
                        QStringLiteral("The string ID %1 of \"%2\" does not fit a language file (0 to 65535)")
                            .arg(constant.StringID())
                            .arg(constant.GetFullName(QStringLiteral("."))));
                WriteU16(out, uint16_t(constant.StringID()));
                WriteI32(out, constant.ID());
                WriteCompactWideString(out, constant.Value(index)->Value(), fv);
                versionAndTime(constant);
            }
        }

        const TLocFormList& forms = storage.Forms();
        WriteCount(out, forms.Count(), "forms");
        for (int f = 0; f < forms.Count(); ++f) {
            const TLocForm& form = *forms.Items(f);
            name(form.Name());
            WriteU16(out, form.Attributes());
            properties(form.Properties());
            WriteCount(out, form.Components().Count(), "components");
            for (int c = 0; c < form.Components().Count(); ++c) {
                const TLocComponent& component = *form.Components().Items(c);
                name(component.Name());
                WriteU16(out, component.Attributes());
                properties(component.Properties());
            }
        }

        if (fv >= 7) {
            const TLocExtGroupList& groups = storage.ExtGroups();
            WriteCount(out, groups.Count(), "external groups");
            for (int g = 0; g < groups.Count(); ++g) {
                const TLocExtGroup& group = *groups.Items(g);
                name(group.Name());
                WriteU16(out, group.Attributes());
                WriteCount(out, group.ExternalItems().Count(), "external items");
                for (int i = 0; i < group.ExternalItems().Count(); ++i) {
                    const TLocExtItem& item = *group.ExternalItems().Items(i);
                    valueHead(item);
                    WriteI32(out, item.ID());
                    WriteCompactWideString(out, item.Value(index)->Value(), fv);
                    versionAndTime(item);
                }
            }
        }
    } catch (const EWriteError& e) {
        // Only a name or value too long for its length field gets here.
        throw ELangFileError(
            QStringLiteral("A name or text is too long for a language file: %1").arg(e.Message()));
    }
}

void TLangFile::WriteFileImage(const QString& fileName, const QByteArray& image)
{
    const bool wasLocked = FHandle >= 0;
    Unlock();
    try {
        ReplaceFile(fileName, FCompressed ? Compress(image) : image);
    } catch (...) {
        if (wasLocked) {
            try {
                Lock();
            } catch (const Exception&) {
                // The write's own error is the one to report.
            }
        }
        throw;
    }
    FFileName = fileName;
    if (wasLocked)
        Lock();
}

// --- language DLLs ---------------------------------------------------------------

void TLangFile::SaveOwnSection(TResProcessor& resources, uint16_t blockVersion, bool exeFile,
                               bool updateVersion) const
{
    auto* rcdata = static_cast<TResRCData*>(resources.GetItemByType(RT_RCDATA));
    if (!rcdata) {
        resources.AddBlock(std::make_unique<TResRCData>());
        rcdata = static_cast<TResRCData*>(resources.GetItemByType(RT_RCDATA));
        if (!rcdata)
            throw ELangFileError(LibraryMessage(sKErrorSavingDll));
    }
    auto takeItem = [&](const QString& name) {
        TResRCDataItem* item = rcdata->GetItemByName(name);
        const bool isNew = item == nullptr;
        if (isNew)
            item = rcdata->Add(name, false);
        if (!item)
            throw ELangFileError(LibraryMessage(sKErrorSavingDll));
        if (item->Name() != name)
            throw ELangFileError(QStringLiteral("Name is not saved correctly - ") + item->Name());
        return std::make_pair(item, isNew);
    };
    auto [item, isNew] = takeItem(kLibSettingsName);
    QByteArray block = item->Data();
    TMemoryStream out;
    out.WriteBytes("LDLL");
    if (updateVersion || isNew || block.size() < 8) {
        const int32_t version = qToLittleEndian(FVersion);
        out.WriteBuffer(&version, 4);
    } else {
        out.WriteBytes(block.mid(4, 4));
    }
    auto write16 = [&](uint16_t value) {
        value = qToLittleEndian(value);
        out.WriteBuffer(&value, 2);
    };
    write16(uint16_t(FLocale));
    const QByteArray english = WideToAnsiCP(FLangEnglishName, 0).left(0xFFFF);
    write16(uint16_t(english.size()));
    out.WriteBytes(english);
    const QString localized = FLangLocalizedName.left(0xFFFF);
    write16(uint16_t(localized.size()));
    for (QChar c : localized)
        write16(c.unicode());
    write16(blockVersion);
    write16(0);
    const uint32_t build = qToLittleEndian(FBuild);
    out.WriteBuffer(&build, 4);
    out.WriteBytes(QByteArray(1, '\0'));
    item->SetData(out.Bytes());
    if (exeFile) {
        QByteArray exeBlock = out.Bytes();
        exeBlock.replace(0, 4, "KEXE");
        takeItem(kExeSettingsName).first->SetData(exeBlock);
    }
}

uint16_t TLangFile::TranslateResources(TResProcessor& resources, TLocStorage& storage, bool checkSync)
{
    uint16_t blockVersion = 6;
    if (FCheckDllValidity) {
        auto* rcdata = static_cast<TResRCData*>(resources.GetItemByType(RT_RCDATA));
        TResRCDataItem* native = rcdata ? rcdata->GetItemByName(kLibSettingsName) : nullptr;
        if (!native || !native->Data().startsWith("LDLL"))
            throw ELangFileError(LibraryMessage(sKNativeDllInvalid));
        try {
            const TSettingsBlock block = ParseSettingsBlock(native->Data());
            if (block.BlockVersion != 0)
                blockVersion = block.BlockVersion;
        } catch (const EReadError&) {
            throw ELangFileError(LibraryMessage(sKNativeDllInvalid));
        }
    }
    // Strings: every constant whose string ID the tables hold.
    FNativeExeMismatch = false;
    FNativeExeMismatchText.clear();
    if (auto* strings = static_cast<TResString*>(resources.GetItemByType(RT_STRING))) {
        const TLocUnitList& units = storage.Units();
        for (int u = 0; u < units.Count(); ++u) {
            const TLocConstantList& constants = units.Items(u)->Constants();
            for (int c = 0; c < constants.Count(); ++c) {
                const TLocConstant* constant = constants.Items(c);
                TResStringItem* item =
                    constant->StringID() >= 1 ? strings->GetItemById(constant->StringID()) : nullptr;
                if (!item)
                    continue;
                const QString& native = constant->MainValue()->Value();
                if (checkSync && item->Data() != native) {
                    FNativeExeMismatch = true;
                    FNativeExeMismatchText = item->Data() + QStringLiteral("\r\n") + native;
                }
                const bool useLanguage = FLangIndex >= 0 && FLangIndex < constant->ValueCount() &&
                                         (constant->IsTranslated(FLangIndex) ||
                                          GetAttribute(lfaShowUntranslatedAsIs));
                item->SetData(useLanguage ? constant->Value(FLangIndex)->Value() : native);
            }
        }
    }
    // Forms.
    TLocFormProcessor forms;
    forms.SetUnicodeProject(GetAttribute(lfaUnicode));
    forms.SetProcessCharset(!GetAttribute(lfaUnicode));
    forms.SetProcessBiDiMode(GetAttribute(lfaBiDiMode));
    forms.SetShowUntranslatedAsIs(GetAttribute(lfaShowUntranslatedAsIs));
    forms.SetLocStorage(&storage);
    for (int i = 0; i < storage.Forms().Count(); ++i)
        forms.PrjForms() << storage.Forms().Items(i)->Name();
    forms.SetLangIndex(FLangIndex);
    forms.SetLangLocale(uint16_t(FLocale));
    if (resources.GetItemByType(RT_RCDATA))
        forms.UpdateFormsByResource(resources);
    return blockVersion;
}

void TLangFile::CreateLDLLStream(const QByteArray& moduleImage, TStream& stream, const QString& peFileName,
                                 TLocStorage* storage, bool updateVersion, bool checkSync)
{
    TResProcessor resources;
    if (!moduleImage.isEmpty())
        resources.LoadFromModule(moduleImage);
    else
        resources.LoadPEFile(peFileName);
    if (storage) {
        const uint16_t blockVersion = TranslateResources(resources, *storage, checkSync);
        if (FCheckDllValidity) {
            if (auto* rcdata = static_cast<TResRCData*>(resources.GetItemByType(RT_RCDATA))) {
                rcdata->DeleteByName(kExeSettingsName);
                rcdata->DeleteByName(kLocLangsName);
            }
            SaveOwnSection(resources, blockVersion, false, updateVersion);
        }
    } else {
        SaveOwnSection(resources, 6, false, updateVersion);
    }
    resources.CreateDLLStream(stream);
}

void TLangFile::CreateLDLL(const QByteArray& moduleImage, const QString& fileName, const QString& peFileName,
                           TLocStorage* storage, bool checkSync)
{
    TMemoryStream image;
    CreateLDLLStream(moduleImage, image, peFileName, storage, false, checkSync);
    SaveBytesToFile(fileName, image.Bytes());
}

QByteArray TLangFile::UpdateResources(const QByteArray& moduleImage, TLocStorage* storage, bool checkSync)
{
    TResProcessor resources;
    resources.LoadFromModule(moduleImage);
    if (storage)
        TranslateResources(resources, *storage, checkSync);
    if (auto* rcdata = static_cast<TResRCData*>(resources.GetItemByType(RT_RCDATA))) {
        rcdata->DeleteByName(kExeSettingsName);
        rcdata->DeleteByName(kLocLangsName);
    }
    return resources.UpdateResources(moduleImage);
}
