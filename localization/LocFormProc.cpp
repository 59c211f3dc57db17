#include "localization/LocFormProc.h"

#include "localization/KHelpers.h"
#include "localization/KLocales.h"
#include "localization/WinResProc.h"

#include "platform/objects/ObjectText.h"
#include "platform/os/Modules.h"
#include "platform/objects/StreamWalker.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/Streams.h"

#include <QDir>
#include <QRegularExpression>

#include <vector>

namespace {

// The framework's identifiers of the Windows character sets.
QString CharsetIdent(int charset)
{
    struct TEntry {
        int Charset;
        const char* Ident;
    };
    static constexpr TEntry kCharsets[] = {
        {0, "ANSI_CHARSET"},        {1, "DEFAULT_CHARSET"},      {2, "SYMBOL_CHARSET"},
        {77, "MAC_CHARSET"},        {128, "SHIFTJIS_CHARSET"},   {129, "HANGEUL_CHARSET"},
        {130, "JOHAB_CHARSET"},     {134, "GB2312_CHARSET"},     {136, "CHINESEBIG5_CHARSET"},
        {161, "GREEK_CHARSET"},     {162, "TURKISH_CHARSET"},    {163, "VIETNAMESE_CHARSET"},
        {177, "HEBREW_CHARSET"},    {178, "ARABIC_CHARSET"},     {186, "BALTIC_CHARSET"},
        {204, "RUSSIAN_CHARSET"},   {222, "THAI_CHARSET"},       {238, "EASTEUROPE_CHARSET"},
        {255, "OEM_CHARSET"},
    };
    for (const TEntry& entry : kCharsets)
        if (entry.Charset == charset)
            return QString::fromLatin1(entry.Ident);
    return QString::number(charset);
}

bool IsStringTag(TValueType type)
{
    return type == TValueType::vaString || type == TValueType::vaLString || type == TValueType::vaWString ||
           type == TValueType::vaUTF8String;
}

bool IsBiDiProperty(const QString& name)
{
    return name.compare(QLatin1String("BiDiMode"), Qt::CaseInsensitive) == 0 ||
           name.contains(QLatin1String(".BiDiMode"), Qt::CaseInsensitive);
}

bool MatchMask(const QString& mask, const QString& text)
{
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(mask),
                                QRegularExpression::CaseInsensitiveOption);
    return re.match(text).hasMatch();
}

// The properties that hold a memo's text in a report design.
bool IsMemoTextProperty(const QString& name)
{
    return name.compare(QLatin1String("Memo.Strings"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("Text"), Qt::CaseInsensitive) == 0;
}

bool HasLetter(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > 127 || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
            return true;
    return false;
}

// A form stream's root object name: signature, prefix, class and name.
QString RootName(const QByteArray& binary)
{
    TMemoryStream stream(binary);
    TValueReader reader(stream);
    reader.ReadSignature();
    TFilerFlags flags;
    int position;
    reader.ReadPrefix(flags, position);
    reader.ReadStr();
    return reader.ReadStr();
}

// Skips a 16-bit resource header (FF 0A 00, the name up to its NUL, flags
// and size) before a stream.
int64_t SkipResourceHeader(const QByteArray& bytes)
{
    qsizetype position = 3;
    while (position < bytes.size() && bytes[position] != '\0')
        ++position;
    position += 1 + 2 + 4;
    if (position > bytes.size())
        throw ELocFormProcessorError(QStringLiteral("Invalid resource header"));
    return position;
}

} // namespace

// --- the writer --------------------------------------------------------------

void TKWriter::WriteAnsiString(const QString& ws, uint32_t locale)
{
    WriteAnsiBytes(WideToAnsiLocale(ws, locale));
}

// --- the walker of one form ----------------------------------------------------

class TFormWalker : public TObjectStreamWalker {
public:
    TFormWalker(TLocFormProcessor& processor, TStream& source, TKWriter* writer)
        : TObjectStreamWalker(source, writer), P(processor), W(writer)
    {
    }

    QString FormName;
    TLocForm* FormItem = nullptr;

protected:
    void BeginObject(const TWalkObject& object) override
    {
        TLocComponent* component = nullptr;
        QString name = object.Name;
        if (object.Depth == 0) {
            FormName = P.FFormNamePattern.isEmpty()
                           ? object.Name
                           : QString(P.FFormNamePattern).replace(QLatin1String("${FormName}"), object.Name);
            FormItem = P.FLocStorage ? P.FLocStorage->Forms().Add(FormName) : nullptr;
            P.FScanFormName = FormName;
            component = FormItem;
            name.clear();
        } else {
            if (name.isEmpty() && !FObjects.empty()) {
                Frame& parent = FObjects.back();
                name = parent.Name + u'.' + object.ClassName + u'.' + QString::number(++parent.Children);
            } else if (!FObjects.empty()) {
                ++FObjects.back().Children;
            }
            if ((object.Flags & ffInherited) && !FInlineName.isEmpty())
                name = FInlineName + u'.' + name;
            if (object.Flags & ffChildPos)
                name += u'[' + QString::number(object.ChildPos) + u']';
            component = FormItem ? FormItem->FindComponent(name) : nullptr;
        }
        if (object.Flags & ffInline)
            FInlineName = FInlineName.isEmpty() ? object.Name : FInlineName + u'.' + object.Name;
        // The objects below a report design belong to it.
        const QString design = FObjects.empty() ? QString() : FObjects.back().DesignOfChildren;
        QString designOfChildren = design;
        if (object.Depth > 0 && P.FProcessFRComponents && object.ClassName == QLatin1String("TfrxReport"))
            designOfChildren = QStringLiteral("FRFORM:") + FormName + u':' + name;
        FObjects.push_back(
            Frame{name, object.ClassName, component, object.Flags, 0, false, design, designOfChildren});
    }

    void EndObject(const TWalkObject& object) override
    {
        if (FObjects.back().DesignOfChildren != FObjects.back().Design) // the design ends here
            P.FFastReportGroup = nullptr;
        if (object.Flags & ffInline) {
            const int dot = FInlineName.lastIndexOf(u'.');
            FInlineName = dot < 0 ? QString() : FInlineName.left(dot);
        }
        FObjects.pop_back();
    }

    void BeginCollectionItem(int index) override
    {
        const Frame& owner = FObjects.back();
        const QString name = (owner.Name.isEmpty() ? QString() : owner.Name + u'.') + PropName() + u'[' +
                             QString::number(index) + u']';
        TLocComponent* component = FormItem ? FormItem->FindComponent(name) : nullptr;
        FObjects.push_back(Frame{name, QStringLiteral("TCollectionItem"), component, 0, 0, true, {}, {}});
    }
    void EndCollectionItem() override { FObjects.pop_back(); }

    void BeginProperty(const QString& name) override
    {
        Frame& object = FObjects.back();
        FProp = nullptr;
        FPending.clear();
        FScanName.clear();
        FDeleteLast = false;
        if (FObjects.size() == 1 && !object.InCollection &&
            (name == QLatin1String("Caption") || name == QLatin1String("Left") ||
             name == QLatin1String("ClientWidth") || name == QLatin1String("Font.Name")))
            FRootHasCaption = true;
        if (!W) {
            BeginScanProperty(name);
            return;
        }
        TLocProperty* prop = object.Component ? object.Component->Properties().FindByName(name) : nullptr;
        if (prop && !prop->GetAttribute(lvaNeverTranslated)) {
            FProp = prop;
            FValue = ChosenValue(*prop);
            if (prop->ValueType() == ptString && FValue.isEmpty())
                FDeleteLast = true;
            if (prop->ValueType() == ptStringList)
                FLines = FValue.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
            return;
        }
        if (P.FProcessBiDiMode && IsBiDiProperty(name)) {
            if (P.FLangIsMiddleEast)
                FPending = QStringLiteral("bdRightToLeft");
            FBiDiUpdated = true;
        } else if (P.FProcessCharset && name.contains(QLatin1String(".Charset"), Qt::CaseInsensitive) &&
                   !(object.Component && (object.Component->Attributes() & lcaKeepCharset))) {
            FPending = P.FLangCharsetValue;
        }
    }

    void EndProperty(const QString&) override
    {
        if (!W && !FScanName.isEmpty())
            StoreScanned();
        FProp = nullptr;
        FPending.clear();
    }

    bool ReplaceValue(const TStreamValue& value) override
    {
        if (!W) {
            ScanValue(value);
            return false;
        }
        if (!FProp)
            return ReplaceIdent(value);
        if (FDeleteLast)
            return false;
        const int line = ListIndex();
        if (line >= 0 && FProp->ValueType() != ptStringList)
            return false;
        switch (value.Type) {
        case TValueType::vaInt8:
        case TValueType::vaInt16:
        case TValueType::vaInt32:
            W->WriteInteger(int32_t(FValue.toLongLong()));
            return true;
        case TValueType::vaInt64:
            W->WriteInteger(FValue.toLongLong());
            return true;
        case TValueType::vaExtended:
            W->WriteFloat(FValue.toDouble());
            return true;
        case TValueType::vaSingle:
            W->WriteSingle(float(FValue.toDouble()));
            return true;
        case TValueType::vaDouble:
            W->WriteDouble(FValue.toDouble());
            return true;
        case TValueType::vaCurrency:
            W->WriteCurrency(Currency::FromDouble(FValue.toDouble()));
            return true;
        default:
            break;
        }
        if (!IsStringTag(value.Type))
            return ReplaceIdent(value);
        QString text = FValue;
        if (line >= 0) {
            if (line >= FLines.size())
                return false;
            text = FLines[line];
        }
        if (value.Type == TValueType::vaWString || value.Type == TValueType::vaUTF8String ||
            (P.FUnicodeProject && !text.isEmpty()))
            W->WriteWideString(text);
        else
            W->WriteAnsiString(text, P.FLangLocale);
        return true;
    }

    void EndProperties(const TWalkObject&) override
    {
        Frame& object = FObjects.back();
        if (W && object.Component) {
            const TLocPropertyList& props = object.Component->Properties();
            for (int i = 0; i < props.Count(); ++i) {
                TLocProperty* prop = props.Items(i);
                if (prop->GetAttribute(lvaSubstituted))
                    WriteExtraProperty(*prop);
            }
        }
        if (W && FObjects.size() == 1 && P.FProcessBiDiMode && FRootHasCaption && !FBiDiUpdated &&
            P.FLangIsMiddleEast) {
            W->WriteStr(QStringLiteral("BiDiMode"));
            W->WriteIdent(QStringLiteral("bdRightToLeft"));
            FBiDiUpdated = true;
        }
    }

private:
    struct Frame {
        QString Name; // the store component's name; "" for the form
        QString ClassName;
        TLocComponent* Component;
        TFilerFlags Flags;
        int Children;
        bool InCollection;
        QString Design;           // the group of the report design the object belongs to
        QString DesignOfChildren; // the same for its child objects
    };

    QString ChosenValue(const TLocProperty& prop) const
    {
        const int index = P.FLangIndex;
        if (index < 0 || index >= prop.ValueCount())
            return prop.MainValue()->Value();
        if (prop.IsTranslated(index) || P.FShowUntranslatedAsIs)
            return prop.Value(index)->Value();
        return prop.MainValue()->Value();
    }

    bool ReplaceIdent(const TStreamValue& value)
    {
        if (FPending.isEmpty() || value.Type != TValueType::vaIdent)
            return false;
        bool number = false;
        const int asNumber = FPending.toInt(&number);
        if (number)
            W->WriteInteger(asNumber);
        else
            W->WriteIdent(FPending);
        return true;
    }

    void WriteExtraProperty(const TLocProperty& prop)
    {
        const QString value = ChosenValue(prop);
        switch (prop.ValueType()) {
        case ptFloat:
            W->WriteStr(prop.Name());
            W->WriteFloat(value.toDouble());
            break;
        case ptInteger:
            W->WriteStr(prop.Name());
            W->WriteInteger(value.toInt());
            break;
        case ptString:
            W->WriteStr(prop.Name());
            W->WriteWideString(value);
            break;
        case ptStringList:
            W->WriteStr(prop.Name());
            W->WriteListBegin();
            for (const QString& line : value.split(QRegularExpression(QStringLiteral("\r\n|\n|\r"))))
                W->WriteWideString(line);
            W->WriteListEnd();
            break;
        case ptEnumValue:
            W->WriteStr(prop.Name());
            W->WriteIdent(value);
            break;
        case ptBigInt:
            W->WriteStr(prop.Name());
            W->WriteInteger(value.toLongLong());
            break;
        default:
            break;
        }
    }

    // --- scan mode ---
    bool ScanAllowed() const { return P.FLocStorage != nullptr; }

    void BeginScanProperty(const QString& name)
    {
        if (!ScanAllowed() || name.contains(QLatin1String(".charset"), Qt::CaseInsensitive) ||
            name.compare(QLatin1String("color"), Qt::CaseInsensitive) == 0)
            return;
        const Frame& object = FObjects.back();
        FScanText.clear();
        FScanLines.clear();
        FScanType = ptString;
        FScanFound = false;
        FScanDesign = !object.Design.isEmpty() && IsMemoTextProperty(name);
        if (FScanDesign) {
            FScanName = name;
            return;
        }
        const QString objName = object.Name.isEmpty() ? FormName : object.Name;
        bool strong = false;
        if (P.FLangIndex == 0 && P.SatisfyRules(object.ClassName, objName, name, strong)) {
            FScanName = name;
        } else if (P.FLangIndex != 0 && FormItem && FormItem->FindProperty(object.Name, name)) {
            FScanName = name;
        }
    }

    void ScanValue(const TStreamValue& value)
    {
        if (FScanName.isEmpty())
            return;
        if (!IsStringTag(value.Type)) {
            FScanName.clear(); // only texts are collected
            return;
        }
        FScanFound = true;
        if (ListIndex() >= 0) {
            FScanType = ptStringList;
            FScanLines << value.Text;
        } else {
            FScanText = value.Text;
        }
    }

    void StoreScanned()
    {
        if (!FScanFound)
            return;
        const QString text = FScanType == ptStringList ? FScanLines.join(QStringLiteral("\r\n")) : FScanText;
        if (FScanType == ptString && (text.trimmed().isEmpty() || !HasLetter(text)))
            return;
        if (FScanType == ptStringList && !HasLetter(text))
            return;
        const Frame& object = FObjects.back();
        if (FScanDesign) {
            StoreDesignText(object.Design, object.Name + QStringLiteral(".Text"), text);
            return;
        }
        TLocProperty* prop = P.FLocStorage->FindProperty(FormName, object.Name, FScanName);
        if (!prop) {
            if (P.FLangIndex != 0)
                return;
            prop = P.FLocStorage->AddProperty(-1, FormName, object.Name, FScanName, FScanType);
        }
        if (P.FLangIndex == 0)
            prop->RefreshMainValue(text, P.FLFVersion);
        else
            prop->RefreshValue(P.FLangIndex, text, P.FLFVersion);
        if (P.FUnicodeProject)
            prop->SetAttribute(lvaWideText, true);
    }

    void StoreDesignText(const QString& group, const QString& itemName, const QString& text)
    {
        TLocExtItem* item = P.FLocStorage->FindExtItem(group, itemName);
        if (!item) {
            if (P.FLangIndex != 0)
                return;
            item = P.FLocStorage->AddExternalItem(-1, group, itemName);
        }
        P.FFastReportGroup = P.FLocStorage->ExtGroups().FindByName(group);
        if (P.FLangIndex == 0)
            item->RefreshMainValue(text, P.FLFVersion);
        else
            item->RefreshValue(P.FLangIndex, text, P.FLFVersion);
    }

    TLocFormProcessor& P;
    TKWriter* W;
    std::vector<Frame> FObjects;
    QString FInlineName;
    TLocProperty* FProp = nullptr;
    QString FValue;
    QStringList FLines;
    QString FPending;
    bool FDeleteLast = false;
    bool FRootHasCaption = false;
    bool FBiDiUpdated = false;
    QString FScanName;
    QString FScanText;
    QStringList FScanLines;
    TLocValueType FScanType = ptString;
    bool FScanFound = false;
    bool FScanDesign = false; // the property is a memo text of a report design
};

// --- the processor --------------------------------------------------------------

TLocFormProcessor::TLocFormProcessor() = default;
TLocFormProcessor::~TLocFormProcessor() = default;

void TLocFormProcessor::PrepareLanguage()
{
    const uint32_t locale = FLocStorage ? FLocStorage->GetLocale(FLangIndex) : FLangLocale;
    FLangCharsetValue = CharsetIdent(CharsetOfLocale(locale));
    FLangIsMiddleEast = IsRightToLeftLocale(locale);
}

void TLocFormProcessor::UpdateFormsByResource(TResProcessor& resources)
{
    PrepareLanguage();
    if (!resources.GetItemByType(RT_RCDATA))
        throw ELocFormProcessorError(LibraryMessage(sKCantFindRcdataBlock));
    for (const QString& form : std::as_const(FPrjForms))
        UpdateFormByResource(resources, form);
}

void TLocFormProcessor::UpdateFormByResource(TResProcessor& resources, const QString& formName)
{
    auto* rcdata = static_cast<TResRCData*>(resources.GetItemByType(RT_RCDATA));
    if (!rcdata)
        throw ELocFormProcessorError(LibraryMessage(sKCantFindRcdataBlock));
    TResRCDataItem* item = rcdata->GetItemByName((u'T' + formName).toUpper());
    if (!item)
        item = rcdata->GetItemByName((QStringLiteral("TME") + formName).toUpper());
    if (!item)
        return;
    TMemoryStream source(item->Data());
    TMemoryStream dest;
    UpdateBinStream(source, dest);
    item->SetData(dest.Bytes());
}

void TLocFormProcessor::UpdateBinStream(TStream& source, TStream& dest)
{
    ProcessStream(source, &dest);
}

void TLocFormProcessor::ProcessStream(TStream& source, TStream* dest)
{
    const int64_t start = source.Position();
    QString formName;
    try {
        {
            // The form's name first: a vetoed form is copied as it stands.
            const QByteArray head = [&] {
                QByteArray bytes(int(std::min<int64_t>(source.Size() - start, 1024)), '\0');
                source.Read(bytes.data(), bytes.size());
                source.Seek(start, TSeekOrigin::soBeginning);
                return bytes;
            }();
            try {
                formName = RootName(head);
            } catch (const Exception&) {
                formName.clear();
            }
            if (!FFormNamePattern.isEmpty())
                formName = QString(FFormNamePattern).replace(QLatin1String("${FormName}"), formName);
        }
        bool process = true;
        if (BeforeFormProcessing)
            BeforeFormProcessing(*this, formName, process);
        if (!process) {
            if (dest) {
                const int64_t size = source.Size() - start;
                QByteArray bytes(int(size), '\0');
                source.ReadBuffer(bytes.data(), size);
                dest->WriteBuffer(bytes.constData(), size);
            }
            return;
        }
        std::unique_ptr<TKWriter> writer = dest ? std::make_unique<TKWriter>(*dest) : nullptr;
        TFormWalker walker(*this, source, writer.get());
        walker.Run();
        if (writer)
            writer->FlushBuffer();
        if (AfterFormProcessing)
            AfterFormProcessing(*this, walker.FormName);
    } catch (Exception& error) {
        error.SetMessage(QStringLiteral("Error during processing form ") + formName + QStringLiteral("\r\n") +
                         error.Message());
        throw;
    }
}

void TLocFormProcessor::UpdateFormFile(const QString& fileName)
{
    const QByteArray bytes = ReadRegularFile(fileName);
    QByteArray output;
    if (bytes.startsWith(QByteArray("\xFF\x0A\x00", 3))) {
        const int64_t skip = SkipResourceHeader(bytes);
        TMemoryStream source(bytes.mid(int(skip)));
        TMemoryStream dest;
        UpdateBinStream(source, dest);
        output = bytes.left(int(skip)) + dest.Bytes();
    } else if (bytes.startsWith("TPF")) {
        TMemoryStream source(bytes);
        TMemoryStream dest;
        UpdateBinStream(source, dest);
        output = dest.Bytes();
    } else {
        TMemoryStream source(ObjectTextToBinary(bytes));
        TMemoryStream dest;
        UpdateBinStream(source, dest);
        output = ObjectBinaryToText(dest.Bytes());
    }
    SaveBytesToFile(fileName, output);
}

void TLocFormProcessor::UpdateFormFiles(const QString& folder)
{
    PrepareLanguage();
    for (const QString& form : std::as_const(FPrjForms))
        UpdateFormFile(QDir(folder).filePath(form + QStringLiteral(".dfm")));
}

void TLocFormProcessor::LoadFromBinStream(TStream& stream, uint16_t attributes)
{
    FScanAttributes = attributes;
    FFastReportGroup = nullptr; // a scan that failed may have left its group
    ProcessStream(stream, nullptr);
}

void TLocFormProcessor::LoadFromFile(const QString& fileName)
{
    LoadFromFileEx(fileName, QString(), 0);
}

void TLocFormProcessor::LoadFromFileEx(const QString& fileName, const QString& namePattern, uint16_t attributes)
{
    QByteArray bytes = ReadRegularFile(fileName);
    if (bytes.startsWith(QByteArray("\xFF\x0A\x00", 3)))
        bytes = bytes.mid(int(SkipResourceHeader(bytes)));
    else if (!bytes.startsWith("TPF"))
        bytes = ObjectTextToBinary(bytes);
    const QString oldPattern = FFormNamePattern;
    FFormNamePattern = namePattern;
    TMemoryStream stream(bytes);
    try {
        LoadFromBinStream(stream, attributes);
    } catch (...) {
        FFormNamePattern = oldPattern;
        throw;
    }
    FFormNamePattern = oldPattern;
}

void TLocFormProcessor::LoadFromFiles(const QString& folder)
{
    for (const QString& form : std::as_const(FPrjForms))
        LoadFromFile(QDir(folder).filePath(form + QStringLiteral(".dfm")));
}

void TLocFormProcessor::ProcessFormsByResource(TResProcessor& resources)
{
    if (!FLocStorage)
        throw ELocFormProcessorError(QStringLiteral("LanguageResource property was not specified"));
    auto* rcdata = static_cast<TResRCData*>(resources.GetItemByType(RT_RCDATA));
    if (!rcdata)
        throw ELocFormProcessorError(LibraryMessage(sKCantFindRcdataBlock));
    for (int i = 0; i < rcdata->Count(); ++i) {
        const QByteArray& data = rcdata->GetItems(i)->Data();
        if (!data.startsWith("TPF"))
            continue;
        TMemoryStream stream(data);
        LoadFromBinStream(stream, 0);
    }
}

void TLocFormProcessor::GetFormNamesByResource(TResProcessor& resources, QStringList& formNames)
{
    auto* rcdata = static_cast<TResRCData*>(resources.GetItemByType(RT_RCDATA));
    if (!rcdata)
        throw ELocFormProcessorError(LibraryMessage(sKCantFindRcdataBlock));
    for (int i = 0; i < rcdata->Count(); ++i) {
        const QByteArray& data = rcdata->GetItems(i)->Data();
        if (data.startsWith("TPF"))
            formNames << RootName(data);
    }
}

bool TLocFormProcessor::SatisfyRules(const QString& objTypeName, const QString& objName, const QString& propName,
                                     bool& strongRule) const
{
    strongRule = false;
    QStringList names = {objName + u'.' + propName, objTypeName + u'.' + propName};
    if (!FScanFormName.isEmpty())
        names << FScanFormName + u'.' + objName + u'.' + propName;
    for (const QString& raw : FPropRules) {
        const QString rule = raw.trimmed();
        if (!rule.startsWith(u'-'))
            continue;
        const QString mask = rule.mid(1);
        if (MatchMask(mask, objTypeName) || MatchMask(mask, objName))
            return false;
        for (const QString& name : names)
            if (MatchMask(mask, name))
                return false;
    }
    for (const QString& raw : FPropRules) {
        QString rule = raw.trimmed();
        if (rule.isEmpty() || rule.startsWith(u'-'))
            continue;
        const bool strong = rule.startsWith(u'*');
        for (const QString& name : names)
            if (MatchMask(rule, name)) {
                strongRule = strong;
                return true;
            }
    }
    return false;
}
