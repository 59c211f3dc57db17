#include "tools/zrfc/ZrfText.h"

#include "platform/objects/ClassRegistry.h"
#include "platform/objects/Filer.h"
#include "platform/objects/ObjectText.h"
#include "platform/objects/ValueStream.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringRoutines.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvFiler.h"
#include "report/model/ZvUtil.h"

#include <QHash>
#include <QRegularExpression>

#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr int32_t kProjectVersion = 110000;
constexpr int32_t kVersionLastActivePage = 30004;
constexpr int32_t kVersionModules = 40005;
constexpr uint8_t kEntryGlobalPage = 3;
constexpr uint8_t kEntryReport = 4;
constexpr uint8_t kEntryDataObject = 6;

const QString kLastActiveReport = QStringLiteral("LastActiveReport");
const QString kLastActivePage = QStringLiteral("LastActivePage");
const QString kLoadedPages = QStringLiteral("LoadedPages");
const QString kItemClassName = QStringLiteral("ClassName");

[[noreturn]] void Fail(const QString& message)
{
    ZarvError(message);
}

// Collects the names of the defined properties an object declares.
class TNameCollector : public TFiler {
public:
    void DefineProperty(const QString& name, const TReaderProc&, const TWriterProc&, bool) override
    {
        Names << name;
    }
    void DefineBinaryProperty(const QString& name, const TStreamProc&, const TStreamProc&, bool) override
    {
        Names << name;
    }
    void FlushBuffer() override {}
    QStringList Names;
};

// The defined properties of a class, learnt from an object of it made for the
// purpose (none for a class that cannot be made).
const QStringList& DefinedNames(const TClassInfo* cls)
{
    static QHash<const TClassInfo*, QStringList> cache;
    static const QStringList none;
    if (!cls)
        return none;
    const auto found = cache.constFind(cls);
    if (found != cache.constEnd())
        return *found;
    QStringList names;
    if (cls->CanCreate()) {
        std::unique_ptr<TObject> object(cls->Create(nullptr));
        if (auto* persistent = dynamic_cast<TPersistent*>(object.get())) {
            TNameCollector collector;
            persistent->DefineProperties(collector);
            names = collector.Names;
        }
    }
    return *cache.insert(cls, names);
}

// The reader of the property stream never offers these to defined
// properties.
bool IsDefined(const TClassInfo* cls, const QString& name)
{
    if (SameText(name, QStringLiteral("Left")) || SameText(name, QStringLiteral("Top")))
        return false;
    return DefinedNames(cls).contains(name, Qt::CaseInsensitive);
}

const TClassInfo* ClassOfProperty(const TPropInfo* prop)
{
    return prop && prop->Kind() == TTypeKind::tkClass && prop->Type ? FindClass(prop->Type->ClassName)
                                                                    : nullptr;
}

bool IsDottedIdent(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*(\\.[A-Za-z_][A-Za-z0-9_]*)*$"));
    return pattern.match(text).hasMatch();
}

// ===========================================================================
// Project file to text.

class TBinaryToText {
public:
    TBinaryToText(TStreamHelper& in, TValueWriter& out) : FIn(in), FOut(out) {}

    void Convert()
    {
        uint8_t signature[4];
        FIn.Read(signature, 4);
        if (QByteArray(reinterpret_cast<const char*>(signature), 4) != QByteArray("ZRF\x1A", 4))
            Fail(QStringLiteral("Invalid Project Format"));
        FVersion = FIn.ReadInteger();
        if (FIn.ReadByte() != 0)
            Fail(QStringLiteral("Invalid Project Header Code"));
        if (FVersion >= kVersionModules && FIn.ReadIndex() != 0)
            Fail(QStringLiteral("Compiled script modules have no text form"));
        const QString lastActiveReport = FIn.ReadString();

        FOut.WriteSignature();
        const TRecordHead head = ReadHead();
        FOut.WriteStr(head.ClassName);
        FOut.WriteStr(head.Name);
        if (!lastActiveReport.isEmpty()) {
            FOut.WriteStr(kLastActiveReport);
            FOut.WriteString(lastActiveReport);
        }
        ConvertProperties(FindClass(head.ClassName), QString());
        FOut.WriteListEnd();
        if (FIn.ReadIndex() != 0)
            Fail(QStringLiteral("The project record holds children"));
        while (!FIn.Empty())
            ConvertEntry();
        FOut.WriteListEnd();
    }

private:
    struct TRecordHead {
        QString ClassName;
        QString Name;
    };

    TRecordHead ReadHead()
    {
        TRecordHead head;
        if (FIn.ReadByte() != kRecordMarker)
            Fail(QStringLiteral("Invalid component record marker"));
        head.ClassName = FIn.ReadString();
        head.Name = FIn.ReadString();
        if (FIn.ReadByte() != kTagObject)
            Fail(QStringLiteral("Invalid property list tag"));
        return head;
    }

    void ConvertEntry()
    {
        const uint8_t code = FIn.ReadByte();
        FIn.ReadString(); // the item's name, the same as its record's
        if (code == kEntryDataObject)
            FIn.ReadString(); // the class, the same as its record's
        FIn.StartReadBlock();
        if (code == kEntryGlobalPage || code == kEntryDataObject)
            ConvertRecord();
        else
            ConvertReport();
        FIn.FinishReadBlock();
    }

    void ConvertRecord()
    {
        const TRecordHead head = ReadHead();
        FOut.WriteStr(head.ClassName);
        FOut.WriteStr(head.Name);
        ConvertProperties(FindClass(head.ClassName), QString());
        FOut.WriteListEnd();
        ConvertChildren();
        FOut.WriteListEnd();
    }

    void ConvertChildren()
    {
        const int32_t count = FIn.ReadIndex();
        for (int32_t i = 0; i < count; ++i)
            ConvertRecord();
    }

    void ConvertReport()
    {
        const QString lastActivePage = FVersion >= kVersionLastActivePage ? FIn.ReadString() : QString();
        QStringList pages;
        const int32_t pageCount = FIn.ReadIndex();
        for (int32_t i = 0; i < pageCount; ++i) {
            if (FIn.ReadByte() != 0)
                Fail(QStringLiteral("TZarvProjectItem class not found"));
            pages << FIn.ReadString();
        }
        QStringList loaded;
        const int32_t loadedCount = FIn.ReadIndex();
        for (int32_t i = 0; i < loadedCount; ++i)
            loaded << FIn.ReadString();

        const TRecordHead head = ReadHead();
        FOut.WriteStr(head.ClassName);
        FOut.WriteStr(head.Name);
        if (!lastActivePage.isEmpty()) {
            FOut.WriteStr(kLastActivePage);
            FOut.WriteString(lastActivePage);
        }
        if (loaded != pages) {
            FOut.WriteStr(kLoadedPages);
            WriteNameList(loaded);
        }
        ConvertProperties(FindClass(head.ClassName), QString());
        FOut.WriteListEnd();
        ConvertChildren();
        for (int32_t i = 0; i < pageCount; ++i) {
            FIn.StartReadBlock();
            ConvertRecord();
            FIn.FinishReadBlock();
        }
        FOut.WriteListEnd();
    }

    void WriteName(const QString& name)
    {
        if (IsDottedIdent(name))
            FOut.WriteIdent(name);
        else
            FOut.WriteString(name);
    }

    void WriteNameList(const QStringList& names)
    {
        FOut.WriteListBegin();
        for (const QString& name : names)
            WriteName(name);
        FOut.WriteListEnd();
    }

    void ConvertProperties(const TClassInfo* cls, const QString& prefix)
    {
        for (;;) {
            const QString name = FIn.ReadString();
            if (name.isEmpty())
                return;
            if (IsDefined(cls, name)) {
                const int32_t count = FIn.ReadIndex();
                FIn.CheckBytesLeft(count);
                const QByteArray bytes = FIn.Stream().ReadBytes(count);
                FOut.WriteStr(prefix + name);
                WriteDefinedValue(bytes);
                continue;
            }
            ConvertValue(cls ? cls->FindProperty(name) : nullptr, prefix + name);
        }
    }

    // Bytes that hold exactly one value other than binary data are written
    // as that value; everything else as binary data, so the two never mix up.
    void WriteDefinedValue(const QByteArray& bytes)
    {
        bool single = false;
        if (!bytes.isEmpty() && uint8_t(bytes.at(0)) != uint8_t(TValueType::vaBinary)) {
            TMemoryStream stream(bytes);
            TValueReader reader(stream);
            try {
                reader.SkipValue();
                single = reader.Remaining() == 0;
            } catch (const EReadError&) {
                single = false;
            }
        }
        if (single)
            FOut.WriteRawBytes(bytes);
        else
            FOut.WriteBinary(bytes);
    }

    void ConvertValue(const TPropInfo* prop, const QString& name)
    {
        const uint8_t tag = FIn.ReadByte();
        switch (tag) {
        case kTagIdent:
            FOut.WriteStr(name);
            WriteName(FIn.ReadString());
            return;
        case kTagPosInt:
        case kTagNegInt:
        case kTagFullInt: {
            int64_t value = tag == kTagFullInt ? FIn.ReadInteger() : FIn.ReadIndex();
            if (tag == kTagNegInt)
                value = -value;
            FOut.WriteStr(name);
            if (prop && prop->Kind() == TTypeKind::tkClass && value == 0)
                FOut.WriteIdent(QStringLiteral("nil"));
            else
                FOut.WriteInteger(value);
            return;
        }
        case kTagChar:
        case kTagString:
            FOut.WriteStr(name);
            FOut.WriteString(FIn.ReadString());
            return;
        case kTagFloat: {
            TExtended80Rec bytes{};
            FIn.Read(bytes.data(), int64_t(bytes.size()));
            FOut.WriteStr(name);
            FOut.WriteExtended(bytes);
            return;
        }
        case kTagSet: {
            QStringList members;
            for (QString member = FIn.ReadString(); !member.isEmpty(); member = FIn.ReadString())
                members << member;
            FOut.WriteStr(name);
            FOut.WriteSet(members);
            return;
        }
        case kTagObject:
            ConvertProperties(ClassOfProperty(prop), name + QLatin1Char('.'));
            return;
        case kTagComponentList: {
            QStringList names;
            for (QString entry = FIn.ReadString(); !entry.isEmpty(); entry = FIn.ReadString())
                names << entry;
            FOut.WriteStr(name);
            WriteNameList(names);
            return;
        }
        case kTagObjectList: {
            FOut.WriteStr(name);
            FOut.WriteValue(TValueType::vaCollection);
            for (QString className = FIn.ReadString(); !className.isEmpty(); className = FIn.ReadString()) {
                if (FIn.ReadByte() != kTagObject)
                    Fail(QStringLiteral("Invalid property list tag"));
                FOut.WriteListBegin();
                FOut.WriteStr(kItemClassName);
                FOut.WriteString(className);
                ConvertProperties(FindClass(className), QString());
                FOut.WriteListEnd();
            }
            FOut.WriteListEnd();
            return;
        }
        default:
            Fail(QStringLiteral("Invalid value tag %1 of property %2").arg(tag).arg(name));
        }
    }

    TStreamHelper& FIn;
    TValueWriter& FOut;
    int32_t FVersion = 0;
};

// ===========================================================================
// Text to project file.

struct TTextProperty {
    QString Name;
    QByteArray Value; // one value of the binary object text
};

struct TTextObject {
    QString ClassName;
    QString Name;
    std::vector<TTextProperty> Properties;
    std::vector<TTextObject> Children;

    const TTextProperty* Find(const QString& name) const
    {
        for (const TTextProperty& property : Properties) {
            if (SameText(property.Name, name))
                return &property;
        }
        return nullptr;
    }
};

class TObjectReader {
public:
    explicit TObjectReader(TValueReader& reader) : FReader(reader) {}

    TTextObject ReadRoot()
    {
        FReader.ReadSignature();
        return ReadObject();
    }

private:
    TTextObject ReadObject()
    {
        TValueReader::TNestingGuard guard(FReader);
        TFilerFlags flags = 0;
        int childPos = -1;
        FReader.ReadPrefix(flags, childPos);
        if (flags != 0)
            Fail(QStringLiteral("Inherited and inline objects have no place in a report project"));
        TTextObject object;
        object.ClassName = FReader.ReadStr();
        object.Name = FReader.ReadStr();
        while (!FReader.EndOfList()) {
            TTextProperty property;
            property.Name = FReader.ReadStr();
            const int64_t start = FReader.Position();
            FReader.SkipValue();
            const int64_t end = FReader.Position();
            FReader.Stream().SetPosition(start);
            property.Value = FReader.ReadRawBytes(end - start);
            object.Properties.push_back(std::move(property));
        }
        FReader.ReadListEnd();
        while (!FReader.EndOfList())
            object.Children.push_back(ReadObject());
        FReader.ReadListEnd();
        return object;
    }

    TValueReader& FReader;
};

// A property of the text with the rest of its dotted name.
struct TPropertyPart {
    QString Name; // the part after the first dot, or the whole name
    const TTextProperty* Property;
};

class TTextToBinary {
public:
    explicit TTextToBinary(TStreamHelper& out) : FOut(out) {}

    void Convert(const TTextObject& root)
    {
        if (!RequireClass(root.ClassName).InheritsFrom(QStringLiteral("TZarvProjectManager")))
            Fail(QStringLiteral("The text must hold one TZarvProjectManager, not a %1").arg(root.ClassName));
        for (const char c : QByteArray("ZRF\x1A", 4))
            FOut.WriteByte(uint8_t(c));
        FOut.WriteInteger(kProjectVersion);
        FOut.WriteByte(0);
        FOut.WriteIndex(0); // no compiled modules
        FOut.WriteString(StringOf(root.Find(kLastActiveReport)));
        WriteRecord(root, {}, {kLastActiveReport});
        for (const TTextObject& child : root.Children)
            WriteEntry(child);
    }

private:
    void WriteEntry(const TTextObject& item)
    {
        const TClassInfo& cls = RequireClass(item.ClassName);
        if (cls.InheritsFrom(QStringLiteral("TZarvReport"))) {
            FOut.WriteByte(kEntryReport);
            FOut.WriteString(item.Name);
            FOut.StartWriteBlock();
            WriteReportBlock(item);
            FOut.FinishWriteBlock();
            return;
        }
        if (cls.InheritsFrom(QStringLiteral("TZarvPage"))) {
            FOut.WriteByte(kEntryGlobalPage);
            FOut.WriteString(item.Name);
        } else if (cls.InheritsFrom(QStringLiteral("TZarvDataObject"))) {
            FOut.WriteByte(kEntryDataObject);
            FOut.WriteString(item.Name);
            FOut.WriteString(cls.ClassName());
        } else {
            Fail(QStringLiteral("%1 is no report, page or data object").arg(item.ClassName));
        }
        FOut.StartWriteBlock();
        WriteRecord(item, ChildrenOf(item), {});
        FOut.FinishWriteBlock();
    }

    static std::vector<const TTextObject*> ChildrenOf(const TTextObject& object)
    {
        std::vector<const TTextObject*> children;
        for (const TTextObject& child : object.Children)
            children.push_back(&child);
        return children;
    }

    void WriteReportBlock(const TTextObject& report)
    {
        std::vector<const TTextObject*> pages;
        std::vector<const TTextObject*> others;
        for (const TTextObject& child : report.Children) {
            if (RequireClass(child.ClassName).InheritsFrom(QStringLiteral("TZarvPage")))
                pages.push_back(&child);
            else
                others.push_back(&child);
        }
        FOut.WriteString(StringOf(report.Find(kLastActivePage)));
        FOut.WriteIndex(int32_t(pages.size()));
        QStringList pageNames;
        for (const TTextObject* page : pages) {
            FOut.WriteByte(0);
            FOut.WriteString(page->Name);
            pageNames << page->Name;
        }
        const TTextProperty* loaded = report.Find(kLoadedPages);
        const QStringList loadedNames = loaded ? NamesOf(*loaded) : pageNames;
        FOut.WriteIndex(int32_t(loadedNames.size()));
        for (const QString& name : loadedNames)
            FOut.WriteString(name);
        WriteRecord(report, others, {kLastActivePage, kLoadedPages});
        for (const TTextObject* page : pages) {
            FOut.StartWriteBlock();
            WriteRecord(*page, ChildrenOf(*page), {});
            FOut.FinishWriteBlock();
        }
    }

    void WriteRecord(const TTextObject& object, const std::vector<const TTextObject*>& children,
                     const QStringList& skipped)
    {
        const TClassInfo& cls = RequireClass(object.ClassName);
        FOut.WriteByte(kRecordMarker);
        FOut.WriteString(cls.ClassName());
        FOut.WriteString(object.Name);
        std::vector<TPropertyPart> parts;
        for (const TTextProperty& property : object.Properties) {
            if (!skipped.contains(property.Name, Qt::CaseInsensitive))
                parts.push_back({property.Name, &property});
        }
        WriteProperties(&cls, parts, object.ClassName);
        FOut.WriteIndex(int32_t(children.size()));
        for (const TTextObject* child : children)
            WriteRecord(*child, ChildrenOf(*child), {});
    }

    // Byte 8, the properties (dotted names grouped into nested objects at
    // the place of their first part), an empty name.
    void WriteProperties(const TClassInfo* cls, const std::vector<TPropertyPart>& parts, const QString& where)
    {
        FOut.WriteByte(kTagObject);
        QStringList done;
        for (size_t i = 0; i < parts.size(); ++i) {
            const QString& name = parts[i].Name;
            const qsizetype dot = name.indexOf(u'.');
            if (dot < 0) {
                WriteProperty(cls, name, parts[i].Property->Value, where);
                continue;
            }
            const QString head = name.left(dot);
            if (done.contains(head, Qt::CaseInsensitive))
                continue;
            done << head;
            std::vector<TPropertyPart> nested;
            for (size_t j = i; j < parts.size(); ++j) {
                const QString& other = parts[j].Name;
                if (other.size() > head.size() && other.at(head.size()) == u'.' &&
                    SameText(other.left(head.size()), head))
                    nested.push_back({other.mid(head.size() + 1), parts[j].Property});
            }
            const TPropInfo* prop = cls ? cls->FindProperty(head) : nullptr;
            if (!prop || prop->Kind() != TTypeKind::tkClass)
                Fail(QStringLiteral("%1 has no object property %2").arg(where, head));
            FOut.WriteString(prop->Name);
            WriteProperties(ClassOfProperty(prop), nested, where + QLatin1Char('.') + head);
        }
        FOut.WriteString(QString());
    }

    void WriteProperty(const TClassInfo* cls, const QString& name, const QByteArray& value,
                       const QString& where)
    {
        const TPropInfo* prop = cls ? cls->FindProperty(name) : nullptr;
        if (!prop) {
            if (!IsDefined(cls, name))
                Fail(QStringLiteral("%1 has no property %2").arg(where, name));
            QByteArray bytes = value;
            if (!value.isEmpty() && uint8_t(value.at(0)) == uint8_t(TValueType::vaBinary)) {
                TMemoryStream stream(value);
                TValueReader reader(stream);
                bytes = reader.ReadBinary();
            }
            FOut.WriteString(name);
            FOut.WriteIndex(int32_t(bytes.size()));
            FOut.Write(bytes.constData(), bytes.size());
            return;
        }
        FOut.WriteString(prop->Name);
        TMemoryStream stream(value);
        TValueReader reader(stream);
        const TTypeKind kind = prop->Kind();
        const TValueType type = reader.NextValue();
        const auto invalid = [&]() { Fail(QStringLiteral("Invalid value for %1.%2").arg(where, name)); };
        const bool integer = kind == TTypeKind::tkInteger || kind == TTypeKind::tkInt64;
        const bool textKind =
            kind == TTypeKind::tkString || kind == TTypeKind::tkLString || kind == TTypeKind::tkUString;
        const TClassInfo* held = ClassOfProperty(prop);
        const auto holds = [held](const char* className) {
            return held && held->InheritsFrom(QString::fromLatin1(className));
        };
        switch (type) {
        case TValueType::vaInt8:
        case TValueType::vaInt16:
        case TValueType::vaInt32:
        case TValueType::vaInt64: {
            const int64_t number = reader.ReadInt64();
            if (kind == TTypeKind::tkFloat) {
                WriteFloat(double(number));
            } else if (kind == TTypeKind::tkClass && number == 0) {
                WriteIndexValue(kTagPosInt, 0);
            } else {
                if (!integer || number < std::numeric_limits<int32_t>::min() ||
                    number > std::numeric_limits<int32_t>::max())
                    invalid();
                WriteInteger(int32_t(number));
            }
            return;
        }
        case TValueType::vaExtended: {
            if (kind != TTypeKind::tkFloat)
                invalid();
            reader.ReadValue();
            const TExtended80Rec bytes = reader.ReadExtendedBytes();
            FOut.WriteByte(kTagFloat);
            FOut.Write(bytes.data(), int64_t(bytes.size()));
            return;
        }
        case TValueType::vaSingle:
        case TValueType::vaDouble:
        case TValueType::vaDate:
        case TValueType::vaCurrency:
            if (kind != TTypeKind::tkFloat)
                invalid();
            WriteFloat(reader.ReadFloat());
            return;
        case TValueType::vaNil:
            if (kind != TTypeKind::tkClass)
                invalid();
            WriteIndexValue(kTagPosInt, 0);
            return;
        case TValueType::vaIdent:
        case TValueType::vaFalse:
        case TValueType::vaTrue:
            if (kind != TTypeKind::tkEnumeration && kind != TTypeKind::tkClass)
                invalid();
            FOut.WriteByte(kTagIdent);
            FOut.WriteString(reader.ReadIdent());
            return;
        case TValueType::vaString:
        case TValueType::vaLString:
        case TValueType::vaWString:
        case TValueType::vaUTF8String: {
            const QString text = reader.ReadString();
            if (kind == TTypeKind::tkChar) {
                if (text.size() != 1)
                    invalid();
                FOut.WriteByte(kTagChar);
            } else if (kind == TTypeKind::tkEnumeration || kind == TTypeKind::tkClass) {
                FOut.WriteByte(kTagIdent);
            } else if (textKind) {
                FOut.WriteByte(kTagString);
            } else {
                invalid();
            }
            FOut.WriteString(text);
            return;
        }
        case TValueType::vaSet:
            if (kind != TTypeKind::tkSet)
                invalid();
            FOut.WriteByte(kTagSet);
            for (const QString& member : reader.ReadSet())
                FOut.WriteString(member);
            FOut.WriteString(QString());
            return;
        case TValueType::vaList: {
            if (!holds("TZarvComponentList"))
                invalid();
            const TTextProperty list{name, value};
            FOut.WriteByte(kTagComponentList);
            for (const QString& entry : NamesOf(list))
                FOut.WriteString(entry);
            FOut.WriteString(QString());
            return;
        }
        case TValueType::vaCollection:
            if (!holds("TZarvPersistentList"))
                invalid();
            WriteObjectList(reader, where + QLatin1Char('.') + name);
            return;
        default:
            invalid();
        }
    }

    void WriteObjectList(TValueReader& reader, const QString& where)
    {
        FOut.WriteByte(kTagObjectList);
        reader.CheckValue(TValueType::vaCollection);
        while (!reader.EndOfList()) {
            const TValueType next = reader.NextValue();
            if (next == TValueType::vaInt8 || next == TValueType::vaInt16 || next == TValueType::vaInt32)
                reader.ReadInteger();
            reader.ReadListBegin();
            std::vector<TTextProperty> properties;
            while (!reader.EndOfList()) {
                TTextProperty property;
                property.Name = reader.ReadStr();
                const int64_t start = reader.Position();
                reader.SkipValue();
                const int64_t end = reader.Position();
                reader.Stream().SetPosition(start);
                property.Value = reader.ReadRawBytes(end - start);
                properties.push_back(std::move(property));
            }
            reader.ReadListEnd();
            if (properties.empty() || !SameText(properties.front().Name, kItemClassName))
                Fail(QStringLiteral("An item of %1 must name its class first").arg(where));
            const QString className = StringOf(&properties.front());
            const TClassInfo& cls = RequireClass(className);
            FOut.WriteString(cls.ClassName());
            std::vector<TPropertyPart> parts;
            for (size_t i = 1; i < properties.size(); ++i)
                parts.push_back({properties[i].Name, &properties[i]});
            WriteProperties(&cls, parts, where);
        }
        reader.ReadListEnd();
        FOut.WriteString(QString());
    }

    void WriteIndexValue(uint8_t tag, int32_t value)
    {
        FOut.WriteByte(tag);
        FOut.WriteIndex(value);
    }

    // The forms of the property stream's writer.
    void WriteInteger(int32_t value)
    {
        if (value >= 0 && value <= 0x0FFFFFFF) {
            WriteIndexValue(kTagPosInt, value);
        } else if (value < 0 && value > -0x10000000) {
            WriteIndexValue(kTagNegInt, -value);
        } else {
            FOut.WriteByte(kTagFullInt);
            FOut.WriteInteger(value);
        }
    }

    void WriteFloat(double value)
    {
        FOut.WriteByte(kTagFloat);
        FOut.WriteExtended(value);
    }

    static QString StringOf(const TTextProperty* property)
    {
        if (!property)
            return QString();
        TMemoryStream stream(property->Value);
        TValueReader reader(stream);
        const TValueType type = reader.NextValue();
        if (type == TValueType::vaIdent)
            return reader.ReadIdent();
        return reader.ReadString();
    }

    static QStringList NamesOf(const TTextProperty& property)
    {
        TMemoryStream stream(property.Value);
        TValueReader reader(stream);
        reader.ReadListBegin();
        QStringList names;
        while (!reader.EndOfList()) {
            const TValueType type = reader.NextValue();
            if (type == TValueType::vaIdent || type == TValueType::vaFalse || type == TValueType::vaTrue ||
                type == TValueType::vaNil)
                names << reader.ReadIdent();
            else
                names << reader.ReadString();
        }
        reader.ReadListEnd();
        return names;
    }

    TStreamHelper& FOut;
};

} // namespace

QByteArray ProjectTextToBinary(const QByteArray& text)
{
    const QByteArray objects = ObjectTextToBinary(text);
    TMemoryStream input(objects);
    TValueReader reader(input);
    const TTextObject root = TObjectReader(reader).ReadRoot();
    TMemoryStream output;
    TStreamHelper helper(output);
    TTextToBinary(helper).Convert(root);
    return output.Bytes();
}

QByteArray ProjectBinaryToText(const QByteArray& project)
{
    TMemoryStream input(project);
    TStreamHelper helper(input);
    TMemoryStream objects;
    TValueWriter writer(objects);
    TBinaryToText(helper, writer).Convert();
    return ObjectBinaryToText(objects.Bytes());
}
