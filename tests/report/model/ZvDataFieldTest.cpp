#include "report/model/ZvDataField.h"

#include "DataFixtures.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/NumberText.h"
#include "tests/support/FuzzLoop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

class ZvDataFieldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterDataForTests();
        project.New();
        view = MakeView(project, QStringLiteral("View1"), {}, {});
    }
    void TearDown() override
    {
        ResetNumberSeparators();
        ResetDateFormatSettings();
    }

    template <class F> F* Field(int index, const QString& nullText = QString())
    {
        auto* field = new F(view);
        field->SetParent(view);
        field->SetDataIndex(index);
        field->SetNullText(nullText);
        return field;
    }
    // Makes the row the view's current one.
    void Show(const TRowBuilder& row)
    {
        view->Rows = {row.Bytes()};
        view->First();
    }

    TZarvProjectManager project{nullptr};
    TTestView* view = nullptr;
};

TEST_F(ZvDataFieldTest, NullValuesComeFromNullText)
{
    auto* zero = Field<TZarvIntegerField>(0, QStringLiteral("0"));
    auto* empty = Field<TZarvIntegerField>(1);
    auto* flag = Field<TZarvBooleanField>(2, QStringLiteral("yes"));
    flag->SetTextTrue(QStringLiteral("yes"));
    Show(TRowBuilder(3));
    EXPECT_TRUE(zero->IsNull());
    EXPECT_EQ(zero->AsString(), QStringLiteral("0"));
    EXPECT_EQ(zero->AsInteger(), 0);
    EXPECT_EQ(empty->AsString(), QString());
    EXPECT_EQ(empty->AsInteger(), 0);
    EXPECT_TRUE(flag->AsBoolean()); // NullText equals TextTrue
    EXPECT_EQ(zero->DataSize(), 4);
    EXPECT_EQ(Field<TZarvMemoField>(0)->DataSize(), 0);
}

TEST_F(ZvDataFieldTest, TextOfEachClass)
{
    SetThousandSeparator(u'.');
    SetDecimalSeparator(u',');
    TDateFormatSettings& dates = DateFormatSettings();
    dates.DateSeparator = u'/';
    dates.ShortDateFormat = QStringLiteral("dd/mm/yyyy");

    auto* yes = Field<TZarvBooleanField>(0);
    auto* no = Field<TZarvBooleanField>(1);
    auto* plain = Field<TZarvIntegerField>(2);
    auto* grouped = Field<TZarvIntegerField>(2);
    grouped->SetDisplayFormat(QStringLiteral("#,##0"));
    auto* date = Field<TZarvDateField>(3);
    auto* text = Field<TZarvStringField>(4);
    auto* formatted = Field<TZarvStringField>(5);
    auto* number = Field<TZarvFloatField>(6);
    auto* memo = Field<TZarvMemoField>(7);
    auto* money = Field<TZarvCurrencyField>(8);

    // A text with a UTF-16 item and, after it, an ANSI item of another text.
    QByteArray both = Le(int32_t(2)) + Le(int32_t(10));
    for (QChar c : QStringLiteral("Grüße"))
        both += Le(c.unicode());
    both += Le(int32_t(1)) + Le(int32_t(5)) + QByteArray("other") + Le(int32_t(0));
    const QByteArray memoText("m\0e\0m\0o\0", 8);
    Show(TRowBuilder(9)
             .Bool(0, true)
             .Bool(1, false)
             .Int(2, 1234)
             .Double(3, 45000) // 2023-03-15, the day count of the run-time's calendar
             .Native(4, both)
             .Str(5, QStringLiteral("raw"))
             .Formatted(5, QStringLiteral("shown"))
             .Float(6, 2.5)
             .Blob(7, memoText)
             .Native(8, Le(int64_t(-123456)))); // -12.3456

    EXPECT_EQ(yes->AsString(), QStringLiteral("True"));
    EXPECT_EQ(no->AsString(), QStringLiteral("False"));
    EXPECT_EQ(plain->AsString(), QStringLiteral("1234"));
    EXPECT_EQ(grouped->AsString(), QStringLiteral("1.234"));
    EXPECT_EQ(date->AsString(), QStringLiteral("15/03/2023"));
    EXPECT_EQ(text->AsString(), QStringLiteral("Grüße"));
    EXPECT_EQ(formatted->AsString(), QStringLiteral("shown"));
    EXPECT_EQ(number->AsString(), QStringLiteral("2,5"));
    EXPECT_EQ(number->DataSize(), 10);
    EXPECT_EQ(memo->AsString(), QStringLiteral("memo"));
    EXPECT_EQ(memo->DataSize(), 8);
    EXPECT_EQ(std::memcmp(memo->AsBlob(), memoText.constData(), 8), 0);
    EXPECT_EQ(money->AsString(), QStringLiteral("-12,3456"));
    EXPECT_EQ(money->AsInteger(), -12); // truncated
    EXPECT_EQ(number->AsCurrency().Scaled, 25000);
}

TEST_F(ZvDataFieldTest, AnsiItemIsReadWhenItIsTheOnlyOne)
{
    auto* text = Field<TZarvStringField>(0);
    const QByteArray ansi = UnicodeToAnsi(QStringLiteral("café"));
    Show(TRowBuilder(1).Native(0, Le(int32_t(1)) + Le(int32_t(ansi.size())) + ansi + Le(int32_t(0))));
    EXPECT_EQ(text->AsString(), QStringLiteral("café"));
}

TEST_F(ZvDataFieldTest, ValuesOutOfRangeRaiseTheConversionError)
{
    auto* big = Field<TZarvFloatField>(0);
    auto* nan = Field<TZarvFloatField>(1);
    auto* huge = Field<TZarvInt64Field>(2);
    auto* money = Field<TZarvCurrencyField>(3);
    Show(TRowBuilder(4)
             .Float(0, 1e20)
             .Float(1, std::numeric_limits<double>::quiet_NaN())
             .Int64(2, std::numeric_limits<int64_t>::max())
             .Native(3, Le(int64_t(30000000000LL) * 10000)));
    EXPECT_THROW(big->AsInteger(), EConvertError);
    EXPECT_THROW(big->AsInt64(), EConvertError); // 1e20 is above 2^63
    EXPECT_THROW(big->AsCurrency(), EConvertError);
    EXPECT_THROW(nan->AsInteger(), EConvertError);
    EXPECT_THROW(nan->AsCurrency(), EConvertError);
    EXPECT_THROW(huge->AsCurrency(), EConvertError);
    EXPECT_EQ(huge->AsInteger(), -1); // the low 32 bits
    EXPECT_THROW(money->AsInteger(), EConvertError);
    EXPECT_EQ(money->AsInt64(), 30000000000LL);
}

TEST_F(ZvDataFieldTest, RowsAreCheckedAgainstTheirSize)
{
    TZarvDataRow row;
    EXPECT_THROW(row.Init(-1), EZarvException);
    row.Init(16);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(row.DataPtr), 16), QByteArray(16, '\0'));
    EXPECT_EQ(row.GetNativePtr(0), nullptr); // offset 0: no value

    auto* outside = Field<TZarvIntegerField>(7);
    auto* negative = Field<TZarvIntegerField>(-1);
    auto* pastEnd = Field<TZarvIntegerField>(0);
    auto* longText = Field<TZarvStringField>(1);
    auto* longMemo = Field<TZarvMemoField>(2);
    auto* shortInt = Field<TZarvIntegerField>(3);
    QByteArray bytes = TRowBuilder(4)
                           .Int(0, 5)
                           .Native(1, Le(int32_t(2)) + Le(int32_t(4)) + QByteArray("a\0b\0", 4) +
                                          Le(int32_t(2)) + Le(int32_t(999)))
                           .Native(2, Le(int32_t(1000)) + "xy")
                           .Native(3, "zz")
                           .Bytes();
    qToLittleEndian(int32_t(bytes.size() + 4), bytes.data()); // column 0 points past the end
    view->Rows = {bytes};
    view->First();
    EXPECT_TRUE(outside->IsNull());
    EXPECT_TRUE(negative->IsNull());
    EXPECT_TRUE(pastEnd->IsNull());
    EXPECT_EQ(longText->AsString(), QStringLiteral("ab")); // the item that does not fit ends the text
    EXPECT_EQ(longMemo->DataSize(), 0);
    EXPECT_EQ(longMemo->AsBlob(), nullptr);
    EXPECT_EQ(shortInt->AsInteger(), 0); // two bytes left for four
}

TEST_F(ZvDataFieldTest, FuzzCorruptedRows)
{
    std::vector<TZarvDataField*> fields;
    for (int index = -1; index < 14; ++index) {
        for (const char* name : {"String", "Integer", "Boolean", "Float", "Currency", "BCD", "Date", "Time",
                                 "DateTime", "Blob", "Memo", "Graphic", "Int64"}) {
            const TClassInfo& cls = RequireClass(QStringLiteral("TZarv%1Field").arg(QLatin1String(name)));
            EXPECT_EQ(FindClassModule(cls.ClassName()), QStringLiteral("ZvData"));
            auto* field = static_cast<TZarvDataField*>(cls.Create(view));
            field->SetParent(view);
            field->SetDataIndex(index);
            fields.push_back(field);
        }
    }
    const QByteArray seed = TRowBuilder(13)
                                .Str(0, QStringLiteral("text"))
                                .Formatted(0, QStringLiteral("shown"))
                                .Int(1, 42)
                                .Bool(2, true)
                                .Float(3, 1.5)
                                .Int64(4, 15000)
                                .Int64(5, -15000)
                                .Double(6, 45000.5)
                                .Double(7, 0.25)
                                .Double(8, 45000.75)
                                .Blob(9, "blob")
                                .Blob(10, QByteArray("m\0e\0", 4))
                                .Blob(11, QByteArray())
                                .Int64(12, 1LL << 40)
                                .Bytes();
    const FuzzStats stats = RunFuzzLoop(
        [&](const QByteArray& bytes) {
            view->Rows = {bytes};
            view->First();
            for (TZarvDataField* field : fields) {
                const int32_t size = field->DataSize();
                if (const uint8_t* blob = field->AsBlob()) {
                    volatile uint8_t sink = 0;
                    for (int32_t i = 0; i < size; ++i)
                        sink = sink ^ blob[i];
                }
                field->AsString();
                field->AsFloat();
                field->AsDateTime();
                field->AsDate();
                field->AsTime();
                try { // numbers out of range raise the conversion error
                    field->AsBoolean();
                    field->AsInteger();
                    field->AsInt64();
                    field->AsCurrency();
                } catch (const EConvertError&) {
                }
            }
        },
        {seed});
    EXPECT_GT(stats.runs, 100);
}

} // namespace
