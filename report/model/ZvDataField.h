#pragma once
// ZvDataField: the rows and the typed columns of a data view.
//
// TZarvDataRow is one fetched row, an opaque block of bytes as the data
// channel and the data-link drivers deliver it: a slot table of two Int32 per
// column (native-value offset, formatted-text offset), then the values.
// Offsets count from the first byte of the slot table; a native offset of 0
// or below means no value (null), a formatted offset of 0 no formatted text.
// Values, little-endian: Int32 (integer), one byte (Boolean), the 10-byte x87
// extended (float), Int64 scaled by 10000 (currency, BCD), Int64, a double of
// days since 1899-12-30 (date, time, date-time), an Int32 length and the
// bytes (blob, memo, graphic), and texts as items of Int32 tag, Int32 byte
// count and the bytes, ended by tag 0 (tag 2 UTF-16LE, which wins over tag 1,
// ANSI in the system code page).
//
// Rows come from other processes, so nothing in a row is trusted: every slot,
// offset, length and text item is checked against DataSize, and whatever
// does not fit reads as null (or as the text items read up to that point);
// nothing is ever read outside the row.
//
// TZarvDataField and its thirteen classes are the columns of a view (children
// of the view in the report tree); they read the view's active row at their
// DataIndex and present the value as text, number, date or bytes.
#include "report/model/ZvClass.h"
#include "report/print/QpDefine.h"

#include "platform/rtl/DateTime.h"
#include "platform/rtl/NumberText.h"

#include <QString>

#include <cstdint>

class TZarvBaseDataView;

// Records the registration procedure of the field classes under "ZVCL".
// Further calls do nothing.
void RecordDataFieldProcs();

enum class TDataRowType : uint8_t { rtFirst, rtMiddle, rtLast };

class TZarvDataRow {
public:
    TZarvDataRow() = default;
    ~TZarvDataRow();
    TZarvDataRow(const TZarvDataRow&) = delete;
    TZarvDataRow& operator=(const TZarvDataRow&) = delete;

    // Clear, then size zero-filled bytes. A negative size raises
    // EZarvException.
    void Init(int32_t size);
    void Clear();
    // dest takes a copy of the bytes; this row is cleared.
    void MoveTo(TZarvDataRow& dest);
    // Copies bytes into the row (Init to their size first).
    void Assign(const QByteArray& bytes);
    bool Empty() const { return !DataPtr; }
    // Changes whenever the row's bytes change (Init, Clear, Assign, MoveTo);
    // no two rows of the process share one.
    uint64_t Stamp() const { return FStamp; }

    // The address of the column's native value or formatted text; null when
    // there is none or the slot or offset lies outside the row.
    const uint8_t* GetNativePtr(int fieldIdx) const;
    const uint8_t* GetFormattedPtr(int fieldIdx) const;
    // The text at that address; empty when there is none.
    QString GetNativeStr(int fieldIdx) const;
    QString GetFormattedStr(int fieldIdx) const;
    // A length-prefixed value: its bytes after the length and their count;
    // null and 0 when there is none or the length does not fit in the row.
    void GetNativeData(int fieldIdx, const uint8_t*& calcPtr, int32_t& calcSize) const;
    // The bytes of the row from ptr (an address inside it) to its end.
    int64_t BytesFrom(const uint8_t* ptr) const;

    uint8_t* DataPtr = nullptr; // owned; null when the row is empty
    int32_t DataSize = 0;
    TDataRowType DataRowType = TDataRowType::rtMiddle;
    TZarvDataRow* Next = nullptr; // the next row of a saved-row list

private:
    const uint8_t* SlotPtr(int fieldIdx, int slot) const;
    QString ReadStr(const uint8_t* ptr) const;
    static uint64_t NextStamp();

    uint64_t FStamp = NextStamp();
};

class TZarvDataField : public TZarvComponent {
public:
    explicit TZarvDataField(TComponent* owner);
    ~TZarvDataField() override;

    virtual TQPDataType DataType() const = 0;
    virtual QString AsString() const;
    virtual bool AsBoolean() const;
    virtual int32_t AsInteger() const;
    virtual int64_t AsInt64() const;
    virtual double AsFloat() const;
    virtual Currency AsCurrency() const;
    virtual TDateTime AsDateTime() const;
    virtual TDateTime AsDate() const;
    virtual TDateTime AsTime() const;
    // The value's bytes: for strings, blobs, memos and graphics past the
    // leading length word (DataSize bytes); null when null.
    virtual const uint8_t* AsBlob() const;

    bool IsNull() const;
    // Identifies the value the field reads now: it changes when the view's
    // active row, that row's bytes or the view's emptiness change; 0 while
    // the field is null.
    uint64_t RowStamp() const;
    // Bytes of the value by type: 4 integer, 1 Boolean, 10 float, 8 currency,
    // BCD, dates and Int64; otherwise the stored length (0 when null).
    int32_t DataSize() const;

    // The view this field belongs to (its parent), or null.
    TZarvBaseDataView* DataView() const;
    int32_t DataIndex() const { return FDataIndex; }
    void SetDataIndex(int32_t value) { FDataIndex = value; }

    // Published properties.
    bool Calculated() const { return FCalculated; }
    void SetCalculated(bool value) { FCalculated = value; }
    const QString& Description() const { return FDescription; }
    void SetDescription(const QString& value) { FDescription = value; }
    const QString& FieldName() const { return FFieldName; }
    // Stored in identifier form; FullName follows while it is the display
    // form of the old name.
    void SetFieldName(const QString& value);
    const QString& FullName() const { return FFullName; }
    void SetFullName(const QString& value) { FFullName = value; }
    const QString& NullText() const { return FNullText; }
    void SetNullText(const QString& value) { FNullText = value; }
    int32_t Size() const { return FSize; } // characters
    void SetSize(int32_t value) { FSize = value; }

protected:
    // The active row of the view, or null.
    const TZarvDataRow* Row() const;
    // The native value's bytes when at least count of them lie in the row.
    const uint8_t* Native(int32_t count) const;
    QString FormattedText() const;
    QString NativeText() const;

private:
    int32_t FDataIndex = 0;
    QString FFieldName;
    int32_t FSize = 10;
    QString FFullName;
    QString FDescription;
    QString FNullText;
    bool FCalculated = false;
};

class TZarvFormattedField : public TZarvDataField {
public:
    using TZarvDataField::TZarvDataField;
    const QString& DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(const QString& value) { FDisplayFormat = value; }

private:
    QString FDisplayFormat;
};

class TZarvStringField : public TZarvDataField {
public:
    using TZarvDataField::TZarvDataField;
    TQPDataType DataType() const override { return TQPDataType::dtString; }
    QString AsString() const override;
};

class TZarvIntegerField : public TZarvFormattedField {
public:
    using TZarvFormattedField::TZarvFormattedField;
    TQPDataType DataType() const override { return TQPDataType::dtInteger; }
    QString AsString() const override;
    int32_t AsInteger() const override;
    int64_t AsInt64() const override;
    double AsFloat() const override;
    Currency AsCurrency() const override;
};

class TZarvInt64Field : public TZarvFormattedField {
public:
    using TZarvFormattedField::TZarvFormattedField;
    TQPDataType DataType() const override { return TQPDataType::dtInt64; }
    QString AsString() const override;
    int32_t AsInteger() const override;
    int64_t AsInt64() const override;
    double AsFloat() const override;
    Currency AsCurrency() const override;
};

class TZarvBooleanField : public TZarvDataField {
public:
    using TZarvDataField::TZarvDataField;
    TQPDataType DataType() const override { return TQPDataType::dtBoolean; }
    QString AsString() const override;
    bool AsBoolean() const override;
    const QString& TextTrue() const { return FTextTrue; }
    void SetTextTrue(const QString& value) { FTextTrue = value; }
    const QString& TextFalse() const { return FTextFalse; }
    void SetTextFalse(const QString& value) { FTextFalse = value; }

private:
    QString FTextTrue;
    QString FTextFalse;
};

class TZarvFloatField : public TZarvFormattedField {
public:
    using TZarvFormattedField::TZarvFormattedField;
    TQPDataType DataType() const override { return TQPDataType::dtFloat; }
    QString AsString() const override;
    int32_t AsInteger() const override;
    int64_t AsInt64() const override;
    double AsFloat() const override;
    Currency AsCurrency() const override;
};

class TZarvCurrencyField : public TZarvFormattedField {
public:
    using TZarvFormattedField::TZarvFormattedField;
    TQPDataType DataType() const override { return TQPDataType::dtCurrency; }
    QString AsString() const override;
    int32_t AsInteger() const override;
    int64_t AsInt64() const override;
    double AsFloat() const override;
    Currency AsCurrency() const override;
};

class TZarvBCDField : public TZarvCurrencyField {
public:
    using TZarvCurrencyField::TZarvCurrencyField;
    TQPDataType DataType() const override { return TQPDataType::dtBCD; }
};

class TZarvDateTimeField : public TZarvFormattedField {
public:
    using TZarvFormattedField::TZarvFormattedField;
    TQPDataType DataType() const override { return TQPDataType::dtDateTime; }
    QString AsString() const override;
    double AsFloat() const override;
    TDateTime AsDateTime() const override;
    TDateTime AsDate() const override;
    TDateTime AsTime() const override;

protected:
    // The native date-time, else the one NullText gives (0 when none).
    TDateTime StoredValue() const;
};

class TZarvDateField : public TZarvDateTimeField {
public:
    using TZarvDateTimeField::TZarvDateTimeField;
    TQPDataType DataType() const override { return TQPDataType::dtDate; }
    TDateTime AsDateTime() const override;
    TDateTime AsDate() const override;
    TDateTime AsTime() const override;
};

class TZarvTimeField : public TZarvDateTimeField {
public:
    using TZarvDateTimeField::TZarvDateTimeField;
    TQPDataType DataType() const override { return TQPDataType::dtTime; }
    TDateTime AsDateTime() const override;
    TDateTime AsDate() const override;
    TDateTime AsTime() const override;
};

class TZarvBlobField : public TZarvDataField {
public:
    using TZarvDataField::TZarvDataField;
    TQPDataType DataType() const override { return TQPDataType::dtBlob; }
    // The bytes as UTF-16 text.
    QString AsString() const override;
};

class TZarvMemoField : public TZarvBlobField {
public:
    using TZarvBlobField::TZarvBlobField;
    TQPDataType DataType() const override { return TQPDataType::dtMemo; }
};

class TZarvGraphicField : public TZarvBlobField {
public:
    using TZarvBlobField::TZarvBlobField;
    TQPDataType DataType() const override { return TQPDataType::dtGraphic; }
    // As a blob; "(Graphic)" when that is empty.
    QString AsString() const override;
};
