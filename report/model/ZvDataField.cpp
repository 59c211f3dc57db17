#include "report/model/ZvDataField.h"

#include "platform/objects/ClassRegistry.h"
#include "platform/objects/TypInfo.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Extended80.h"
#include "report/model/ZvData.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvUtil.h"

#include <QtEndian>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int32_t kTagEnd = 0;
constexpr int32_t kTagAnsi = 1;
constexpr int32_t kTagUtf16 = 2;

// Dates beyond the years 1 to 9999 cannot be shown or taken apart.
constexpr double kMinDateTime = -693593.0;
constexpr double kMaxDateTime = 2958466.0;

int32_t ReadInt32(const uint8_t* p)
{
    return qFromLittleEndian<int32_t>(p);
}

QString Utf16Text(const uint8_t* p, int64_t byteCount)
{
    QString text(qsizetype(byteCount / 2), Qt::Uninitialized);
    std::memcpy(text.data(), p, size_t(byteCount / 2) * 2);
    return text;
}

[[noreturn]] void OutOfRange(const QString& value, const char* type)
{
    throw EConvertError(QStringLiteral("%1 is out of range for %2").arg(value, QLatin1String(type)));
}

int32_t CheckedInt32(double value)
{
    const double t = std::trunc(value);
    if (!(t >= double(std::numeric_limits<int32_t>::min()) &&
          t <= double(std::numeric_limits<int32_t>::max())))
        OutOfRange(FloatToStr(value), "Integer");
    return int32_t(t);
}

int64_t CheckedInt64(double value)
{
    const double t = std::trunc(value);
    // 2^63 is the first double above the Int64 range.
    if (!(t >= -9223372036854775808.0 && t < 9223372036854775808.0))
        OutOfRange(FloatToStr(value), "Int64");
    return int64_t(t);
}

int32_t CheckedInt32(int64_t value)
{
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        OutOfRange(IntToStr(value), "Integer");
    return int32_t(value);
}

Currency CheckedCurrency(double value)
{
    if (!(std::fabs(value) < 922337203685477.0))
        OutOfRange(FloatToStr(value), "Currency");
    return Currency::FromDouble(value);
}

Currency CheckedCurrency(int64_t value)
{
    constexpr int64_t limit = std::numeric_limits<int64_t>::max() / 10000;
    if (value > limit || value < -limit)
        OutOfRange(IntToStr(value), "Currency");
    return Currency::FromScaled(value * 10000);
}

Currency TextToCurrency(const QString& text)
{
    Currency value;
    return TryStrToCurr(text, value) ? value : Currency();
}

double IntPart(double value)
{
    return std::trunc(value);
}

double FracPart(double value)
{
    return value - std::trunc(value);
}

template <class T> TClassInfo& RegisterField(const char* name, const char* parent)
{
    return RegisterClass<T>(QLatin1String(name), QLatin1String(parent));
}

void RegisterDataFieldClasses()
{
    if (FindClass(QStringLiteral("TZarvDataField")))
        return;
    TClassInfo& field = RegisterField<TZarvDataField>("TZarvDataField", "TZarvComponent");
    PublishProperty(field, QStringLiteral("Calculated"), TypeInfoBoolean(), &TZarvDataField::Calculated,
                    &TZarvDataField::SetCalculated);
    PublishProperty(field, QStringLiteral("Description"), TypeInfoString(), &TZarvDataField::Description,
                    &TZarvDataField::SetDescription);
    PublishProperty(field, QStringLiteral("FieldName"), TypeInfoString(), &TZarvDataField::FieldName,
                    &TZarvDataField::SetFieldName);
    PublishProperty(field, QStringLiteral("FullName"), TypeInfoString(), &TZarvDataField::FullName,
                    &TZarvDataField::SetFullName);
    PublishProperty(field, QStringLiteral("NullText"), TypeInfoString(), &TZarvDataField::NullText,
                    &TZarvDataField::SetNullText);
    PublishProperty(field, QStringLiteral("Size"), TypeInfoInteger(), &TZarvDataField::Size,
                    &TZarvDataField::SetSize)
        .NoDefault();
    TClassInfo& formatted = RegisterField<TZarvFormattedField>("TZarvFormattedField", "TZarvDataField");
    PublishProperty(formatted, QStringLiteral("DisplayFormat"), TypeInfoString(),
                    &TZarvFormattedField::DisplayFormat, &TZarvFormattedField::SetDisplayFormat);

    const TClassInfo& stringField = RegisterField<TZarvStringField>("TZarvStringField", "TZarvDataField");
    const TClassInfo& integerField =
        RegisterField<TZarvIntegerField>("TZarvIntegerField", "TZarvFormattedField");
    TClassInfo& booleanField = RegisterField<TZarvBooleanField>("TZarvBooleanField", "TZarvDataField");
    PublishProperty(booleanField, QStringLiteral("TextTrue"), TypeInfoString(), &TZarvBooleanField::TextTrue,
                    &TZarvBooleanField::SetTextTrue);
    PublishProperty(booleanField, QStringLiteral("TextFalse"), TypeInfoString(),
                    &TZarvBooleanField::TextFalse, &TZarvBooleanField::SetTextFalse);
    const TClassInfo& floatField = RegisterField<TZarvFloatField>("TZarvFloatField", "TZarvFormattedField");
    const TClassInfo& currencyField =
        RegisterField<TZarvCurrencyField>("TZarvCurrencyField", "TZarvFormattedField");
    const TClassInfo& bcdField = RegisterField<TZarvBCDField>("TZarvBCDField", "TZarvCurrencyField");
    const TClassInfo& dateTimeField =
        RegisterField<TZarvDateTimeField>("TZarvDateTimeField", "TZarvFormattedField");
    const TClassInfo& dateField = RegisterField<TZarvDateField>("TZarvDateField", "TZarvDateTimeField");
    const TClassInfo& timeField = RegisterField<TZarvTimeField>("TZarvTimeField", "TZarvDateTimeField");
    const TClassInfo& blobField = RegisterField<TZarvBlobField>("TZarvBlobField", "TZarvDataField");
    const TClassInfo& memoField = RegisterField<TZarvMemoField>("TZarvMemoField", "TZarvBlobField");
    const TClassInfo& graphicField = RegisterField<TZarvGraphicField>("TZarvGraphicField", "TZarvBlobField");
    const TClassInfo& int64Field = RegisterField<TZarvInt64Field>("TZarvInt64Field", "TZarvFormattedField");

    RegisterZarvModuleClasses(QStringLiteral("ZvData"),
                              {&stringField, &integerField, &booleanField, &floatField, &currencyField,
                               &bcdField, &dateField, &timeField, &dateTimeField, &blobField, &memoField,
                               &graphicField, &int64Field});
}

} // namespace

void RecordDataFieldProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    RegisterZarvProc(QStringLiteral("ZVCL"), &RegisterDataFieldClasses);
}

// ---------------------------------------------------------------------------
// TZarvDataRow.

TZarvDataRow::~TZarvDataRow()
{
    Clear();
}

uint64_t TZarvDataRow::NextStamp()
{
    static std::atomic<uint64_t> next{1};
    return next++;
}

void TZarvDataRow::Init(int32_t size)
{
    Clear();
    if (size < 0)
        ZarvError(Translate(QStringLiteral("Invalid data row size %1")).arg(size));
    if (size == 0)
        return;
    DataPtr = new uint8_t[size_t(size)]();
    DataSize = size;
}

void TZarvDataRow::Clear()
{
    delete[] DataPtr;
    DataPtr = nullptr;
    DataSize = 0;
    FStamp = NextStamp();
}

void TZarvDataRow::MoveTo(TZarvDataRow& dest)
{
    if (&dest == this)
        return;
    dest.Init(DataSize);
    if (DataSize > 0)
        std::memcpy(dest.DataPtr, DataPtr, size_t(DataSize));
    Clear();
}

void TZarvDataRow::Assign(const QByteArray& bytes)
{
    Init(int32_t(bytes.size()));
    if (!bytes.isEmpty())
        std::memcpy(DataPtr, bytes.constData(), size_t(bytes.size()));
}

int64_t TZarvDataRow::BytesFrom(const uint8_t* ptr) const
{
    if (!DataPtr || ptr < DataPtr || ptr > DataPtr + DataSize)
        return 0;
    return DataPtr + DataSize - ptr;
}

const uint8_t* TZarvDataRow::SlotPtr(int fieldIdx, int slot) const
{
    if (!DataPtr || fieldIdx < 0)
        return nullptr;
    const int64_t pos = int64_t(fieldIdx) * 8 + slot * 4;
    if (pos + 4 > DataSize)
        return nullptr;
    return DataPtr + pos;
}

const uint8_t* TZarvDataRow::GetNativePtr(int fieldIdx) const
{
    const uint8_t* slot = SlotPtr(fieldIdx, 0);
    if (!slot)
        return nullptr;
    const int32_t offset = ReadInt32(slot);
    if (offset <= 0 || offset >= DataSize)
        return nullptr;
    return DataPtr + offset;
}

const uint8_t* TZarvDataRow::GetFormattedPtr(int fieldIdx) const
{
    const uint8_t* slot = SlotPtr(fieldIdx, 1);
    if (!slot)
        return nullptr;
    const int32_t offset = ReadInt32(slot);
    if (offset <= 0 || offset >= DataSize)
        return nullptr;
    return DataPtr + offset;
}

QString TZarvDataRow::ReadStr(const uint8_t* ptr) const
{
    QString result;
    if (!ptr)
        return result;
    bool utf16Seen = false;
    int64_t left = BytesFrom(ptr);
    while (left >= 4) {
        const int32_t tag = ReadInt32(ptr);
        if (tag == kTagEnd || left < 8)
            break;
        const int32_t count = ReadInt32(ptr + 4);
        ptr += 8;
        left -= 8;
        if (count < 0 || count > left)
            break; // an item running past the row ends the text
        if (tag == kTagUtf16) {
            result = Utf16Text(ptr, count);
            utf16Seen = true;
        } else if (tag == kTagAnsi && !utf16Seen) {
            result = AnsiToUnicode(QByteArray(reinterpret_cast<const char*>(ptr), count));
        }
        ptr += count;
        left -= count;
    }
    return result;
}

QString TZarvDataRow::GetNativeStr(int fieldIdx) const
{
    return ReadStr(GetNativePtr(fieldIdx));
}

QString TZarvDataRow::GetFormattedStr(int fieldIdx) const
{
    return ReadStr(GetFormattedPtr(fieldIdx));
}

void TZarvDataRow::GetNativeData(int fieldIdx, const uint8_t*& calcPtr, int32_t& calcSize) const
{
    calcPtr = nullptr;
    calcSize = 0;
    const uint8_t* ptr = GetNativePtr(fieldIdx);
    if (!ptr || BytesFrom(ptr) < 4)
        return;
    const int32_t size = ReadInt32(ptr);
    if (size < 0 || size > BytesFrom(ptr + 4))
        return;
    calcPtr = ptr + 4;
    calcSize = size;
}

// ---------------------------------------------------------------------------
// TZarvDataField.

TZarvDataField::TZarvDataField(TComponent* owner) : TZarvComponent(owner) {}

TZarvDataField::~TZarvDataField() = default;

TZarvBaseDataView* TZarvDataField::DataView() const
{
    return dynamic_cast<TZarvBaseDataView*>(Parent());
}

uint64_t TZarvDataField::RowStamp() const
{
    if (IsNull())
        return 0;
    const TZarvDataRow* row = Row();
    return row ? row->Stamp() : 0;
}

const TZarvDataRow* TZarvDataField::Row() const
{
    TZarvBaseDataView* view = DataView();
    return view ? view->ActiveDataRow() : nullptr;
}

bool TZarvDataField::IsNull() const
{
    TZarvBaseDataView* view = DataView();
    if (!view || view->IsEmpty())
        return true;
    const TZarvDataRow* row = view->ActiveDataRow();
    return !row || !row->GetNativePtr(FDataIndex);
}

const uint8_t* TZarvDataField::Native(int32_t count) const
{
    if (IsNull())
        return nullptr;
    const TZarvDataRow* row = Row();
    const uint8_t* ptr = row->GetNativePtr(FDataIndex);
    return row->BytesFrom(ptr) >= count ? ptr : nullptr;
}

QString TZarvDataField::FormattedText() const
{
    const TZarvDataRow* row = Row();
    return row ? row->GetFormattedStr(FDataIndex) : QString();
}

QString TZarvDataField::NativeText() const
{
    const TZarvDataRow* row = Row();
    return row ? row->GetNativeStr(FDataIndex) : QString();
}

int32_t TZarvDataField::DataSize() const
{
    switch (DataType()) {
    case TQPDataType::dtInteger:
        return 4;
    case TQPDataType::dtBoolean:
        return 1;
    case TQPDataType::dtFloat:
        return 10;
    case TQPDataType::dtCurrency:
    case TQPDataType::dtBCD:
    case TQPDataType::dtDate:
    case TQPDataType::dtTime:
    case TQPDataType::dtDateTime:
    case TQPDataType::dtInt64:
        return 8;
    default:
        break;
    }
    if (IsNull())
        return 0;
    const uint8_t* ptr = nullptr;
    int32_t size = 0;
    Row()->GetNativeData(FDataIndex, ptr, size);
    return size;
}

const uint8_t* TZarvDataField::AsBlob() const
{
    switch (DataType()) {
    case TQPDataType::dtString:
    case TQPDataType::dtBlob:
    case TQPDataType::dtMemo:
    case TQPDataType::dtGraphic: {
        if (IsNull())
            return nullptr;
        const uint8_t* ptr = nullptr;
        int32_t size = 0;
        Row()->GetNativeData(FDataIndex, ptr, size);
        return ptr;
    }
    default:
        return Native(DataSize());
    }
}

void TZarvDataField::SetFieldName(const QString& value)
{
    if (value == FFieldName)
        return;
    if (FFullName == FieldNameToDisplay(FFieldName))
        FFullName = FieldNameToDisplay(value);
    FFieldName = FieldNameToIdent(value);
}

QString TZarvDataField::AsString() const
{
    return IsNull() ? FNullText : FormattedText();
}

bool TZarvDataField::AsBoolean() const
{
    return AsInteger() != 0;
}

int32_t TZarvDataField::AsInteger() const
{
    return StrToIntDef(AsString(), 0);
}

int64_t TZarvDataField::AsInt64() const
{
    return StrToInt64Def(AsString(), 0);
}

double TZarvDataField::AsFloat() const
{
    return StrToFloatDef(AsString(), 0);
}

Currency TZarvDataField::AsCurrency() const
{
    return TextToCurrency(AsString());
}

TDateTime TZarvDataField::AsDateTime() const
{
    TDateTime value = 0;
    return TryStrToDateTime(AsString(), value) ? value : 0;
}

TDateTime TZarvDataField::AsDate() const
{
    TDateTime value = 0;
    return TryStrToDate(AsString(), value) ? value : 0;
}

TDateTime TZarvDataField::AsTime() const
{
    TDateTime value = 0;
    return TryStrToTime(AsString(), value) ? value : 0;
}

// ---------------------------------------------------------------------------
// The classes.

QString TZarvStringField::AsString() const
{
    if (IsNull())
        return NullText();
    const QString text = FormattedText();
    return text.isEmpty() ? NativeText() : text;
}

// Integer.

int32_t TZarvIntegerField::AsInteger() const
{
    const uint8_t* ptr = Native(4);
    return ptr ? ReadInt32(ptr) : StrToIntDef(NullText(), 0);
}

int64_t TZarvIntegerField::AsInt64() const
{
    return AsInteger();
}

double TZarvIntegerField::AsFloat() const
{
    return AsInteger();
}

Currency TZarvIntegerField::AsCurrency() const
{
    return Currency::FromScaled(int64_t(AsInteger()) * 10000);
}

QString TZarvIntegerField::AsString() const
{
    if (IsNull())
        return NullText();
    if (!DisplayFormat().isEmpty())
        return FormatFloat(DisplayFormat(), AsInteger());
    const QString text = FormattedText();
    return text.isEmpty() ? IntToStr(AsInteger()) : text;
}

// Int64.

int64_t TZarvInt64Field::AsInt64() const
{
    const uint8_t* ptr = Native(8);
    return ptr ? qFromLittleEndian<int64_t>(ptr) : StrToInt64Def(NullText(), 0);
}

int32_t TZarvInt64Field::AsInteger() const
{
    return int32_t(uint32_t(uint64_t(AsInt64())));
}

double TZarvInt64Field::AsFloat() const
{
    return double(AsInt64());
}

Currency TZarvInt64Field::AsCurrency() const
{
    return CheckedCurrency(AsInt64());
}

QString TZarvInt64Field::AsString() const
{
    if (IsNull())
        return NullText();
    if (!DisplayFormat().isEmpty())
        return FormatFloat(DisplayFormat(), double(AsInt64()));
    const QString text = FormattedText();
    return text.isEmpty() ? IntToStr(AsInt64()) : text;
}

// Boolean.

bool TZarvBooleanField::AsBoolean() const
{
    const uint8_t* ptr = Native(1);
    return ptr ? *ptr != 0 : NullText() == FTextTrue;
}

QString TZarvBooleanField::AsString() const
{
    if (IsNull())
        return NullText();
    const bool value = AsBoolean();
    const QString& own = value ? FTextTrue : FTextFalse;
    if (!own.isEmpty())
        return own;
    const QString text = FormattedText();
    if (!text.isEmpty())
        return text;
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// Float.

double TZarvFloatField::AsFloat() const
{
    const uint8_t* ptr = Native(10);
    return ptr ? ExtendedToDouble(ptr) : StrToFloatDef(NullText(), 0);
}

int32_t TZarvFloatField::AsInteger() const
{
    return CheckedInt32(AsFloat());
}

int64_t TZarvFloatField::AsInt64() const
{
    return CheckedInt64(AsFloat());
}

Currency TZarvFloatField::AsCurrency() const
{
    return CheckedCurrency(AsFloat());
}

QString TZarvFloatField::AsString() const
{
    if (IsNull())
        return NullText();
    if (!DisplayFormat().isEmpty())
        return FormatFloat(DisplayFormat(), AsFloat());
    const QString text = FormattedText();
    return text.isEmpty() ? FloatToStr(AsFloat()) : text;
}

// Currency and BCD.

Currency TZarvCurrencyField::AsCurrency() const
{
    const uint8_t* ptr = Native(8);
    return ptr ? Currency::FromScaled(qFromLittleEndian<int64_t>(ptr)) : TextToCurrency(NullText());
}

int32_t TZarvCurrencyField::AsInteger() const
{
    return CheckedInt32(AsInt64());
}

int64_t TZarvCurrencyField::AsInt64() const
{
    return AsCurrency().Scaled / 10000;
}

double TZarvCurrencyField::AsFloat() const
{
    return AsCurrency().ToDouble();
}

QString TZarvCurrencyField::AsString() const
{
    if (IsNull())
        return NullText();
    if (!DisplayFormat().isEmpty())
        return FormatFloat(DisplayFormat(), AsCurrency().ToDouble());
    const QString text = FormattedText();
    return text.isEmpty() ? CurrToStr(AsCurrency()) : text;
}

// Date and time.

TDateTime TZarvDateTimeField::StoredValue() const
{
    if (const uint8_t* ptr = Native(8)) {
        const double value = qFromLittleEndian<double>(ptr);
        // A value no calendar holds (a damaged row) reads as day 0.
        return value >= kMinDateTime && value <= kMaxDateTime ? value : 0;
    }
    return StrToDateTimeDef(NullText(), 0);
}

TDateTime TZarvDateTimeField::AsDateTime() const
{
    return StoredValue();
}

TDateTime TZarvDateTimeField::AsDate() const
{
    return IntPart(AsDateTime());
}

TDateTime TZarvDateTimeField::AsTime() const
{
    return FracPart(AsDateTime());
}

double TZarvDateTimeField::AsFloat() const
{
    return AsDateTime();
}

QString TZarvDateTimeField::AsString() const
{
    if (IsNull())
        return NullText();
    if (!DisplayFormat().isEmpty())
        return FormatDateTime(DisplayFormat(), AsDateTime());
    const QString text = FormattedText();
    return text.isEmpty() ? FormatDateTime(QStringLiteral("c"), AsDateTime()) : text;
}

TDateTime TZarvDateField::AsDate() const
{
    return IsNull() ? IntPart(StoredValue()) : StoredValue();
}

TDateTime TZarvDateField::AsDateTime() const
{
    return AsDate();
}

TDateTime TZarvDateField::AsTime() const
{
    return 0;
}

TDateTime TZarvTimeField::AsTime() const
{
    return IsNull() ? FracPart(StoredValue()) : StoredValue();
}

TDateTime TZarvTimeField::AsDateTime() const
{
    return AsTime();
}

TDateTime TZarvTimeField::AsDate() const
{
    return 0;
}

// Blobs.

QString TZarvBlobField::AsString() const
{
    if (IsNull())
        return NullText();
    const uint8_t* ptr = nullptr;
    int32_t size = 0;
    Row()->GetNativeData(DataIndex(), ptr, size);
    return ptr ? Utf16Text(ptr, size) : QString();
}

QString TZarvGraphicField::AsString() const
{
    if (IsNull())
        return NullText();
    const QString text = TZarvBlobField::AsString();
    return text.isEmpty() ? QStringLiteral("(Graphic)") : text;
}
