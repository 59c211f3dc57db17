// Data texts, data memos and mirror sections: their design texts, their
// values while the project prints, and the choice of a mirror.
#include "report/components/ZvCsData.h"

#include "report/model/ZvData.h"

#include "tests/support/MemoryDataView.h"

#include "ComponentFixtures.h"

namespace {

// A view without rows: the data texts only need its name.
class TEmptyView : public TZarvBaseDataView {
public:
    using TZarvBaseDataView::TZarvBaseDataView;
    void FetchRow(int) override {}
    void CreateFields(std::vector<std::unique_ptr<TZarvDataFieldInfo>>&) override {}
    void SetFilter(TStringList&) override {}
    void SetRemoteSort(TStringList&) override {}
};

class ZvCsDataTest : public ComponentTest {
protected:
    TZarvDataMirrorSection* AddMirrorSection(const QString& name, const QString& value)
    {
        auto* section = Add<TZarvDataMirrorSection>(name);
        section->SetDataField(QLatin1Char('"') + value + QLatin1Char('"')); // a literal
        return section;
    }
    static void AddMirror(TZarvDataMirrorSection* section, const QString& value, TZarvSection* mirror,
                          bool isDefault = false)
    {
        auto* item = new TZarvDataMirror;
        item->SetDataValue(value);
        item->SetSectionMirror(mirror);
        item->SetIsDefault(isDefault);
        section->DataMirrors()->Add(item);
    }
};

TEST_F(ZvCsDataTest, DesignTextsNameTheirData)
{
    auto* text = Add<TZarvDataText>(QStringLiteral("DataText1"));
    EXPECT_EQ(text->GetText(), QStringLiteral("DataText1"));
    text->SetDataField(QStringLiteral("Amount"));
    EXPECT_EQ(text->GetText(), QStringLiteral("Amount"));
    auto* rates = new TEmptyView(&Project);
    rates->SetName(QStringLiteral("Rates"));
    text->SetLookupDataView(rates);
    text->SetLookupField(QStringLiteral("Id"));
    EXPECT_EQ(text->GetText(), QStringLiteral("Amount")); // the lookup is not complete
    text->SetLookupDisplay(QStringLiteral("Label"));
    EXPECT_EQ(text->GetText(), QStringLiteral("Amount\u00BBRates.Label"));
    delete rates;
    EXPECT_EQ(text->LookupDataView(), nullptr);

    auto* memo = Add<TZarvDataMemo>(QStringLiteral("DataMemo1"));
    EXPECT_EQ(memo->GetText(), QStringLiteral("[DataMemo1]"));
    memo->SetDataField(QStringLiteral("Notes"));
    EXPECT_EQ(memo->GetText(), QStringLiteral("[Notes]"));
}

TEST_F(ZvCsDataTest, PrintsItsParameterWhileTheProjectPrints)
{
    auto* text = Add<TZarvDataText>(QStringLiteral("DataText1"));
    text->SetDataField(QStringLiteral("PARAM.Code"));
    text->SetText(QStringLiteral("ignored"));
    Project.SetParam(QStringLiteral("Code"), QStringLiteral("M12\u00D71,5"));
    Project.SetPrinting(true);
    text->Print(&Canvas);
    Project.SetPrinting(false);
    EXPECT_EQ(Texts(), QStringList{QStringLiteral("M12\u00D71,5")});
}

TEST_F(ZvCsDataTest, PrintsTheLookedUpDisplayWhileTheProjectPrints)
{
    TMemoryDataView::Register();
    auto* rates = TMemoryDataView::Make(Project, QStringLiteral("Rates"), QStringLiteral("Id|Label"),
                                        QStringLiteral("1|fine;1|again;2|coarse"));
    auto* rows =
        TMemoryDataView::Make(Project, QStringLiteral("Rows"), QStringLiteral("Rate"), QStringLiteral("2"));
    const struct {
        TZarvComponent* View;
        const char* Field;
    } cases[] = {
        {rates, "Id"},   // a lookup into its own view shows its current row, the second
        {rows, "Rate"},  // the row of Rates whose Id is the value
        {rows, "\"3\""}, // no such row
    };
    rates->First();
    rates->Next();
    int n = 0;
    Project.SetPrinting(true);
    for (const auto& c : cases) {
        auto* text = Add<TZarvDataText>(QStringLiteral("Looked%1").arg(++n));
        text->SetDataView(c.View);
        text->SetDataField(QString::fromLatin1(c.Field));
        text->SetLookupDataView(rates);
        text->SetLookupField(QStringLiteral("Id"));
        text->SetLookupDisplay(QStringLiteral("Label"));
        text->SetLookupInvalid(QStringLiteral("?"));
        text->Print(&Canvas);
    }
    Project.SetPrinting(false);
    EXPECT_EQ(Texts(), QStringList({"again", "coarse", "?"}));
}

TEST_F(ZvCsDataTest, MirrorValueMatchesByCompareCase)
{
    auto* lower = Add<TZarvSection>(QStringLiteral("Lower"));
    auto* upper = Add<TZarvSection>(QStringLiteral("Upper"));
    auto* fallback = Add<TZarvSection>(QStringLiteral("Fallback"));
    const struct {
        const char* Value;
        bool CompareCase;
        TZarvSection* Expected;
    } rows[] = {
        {"a", false, lower}, {"A", false, lower}, // the first of the two matches either
        {"a", true, lower},  {"A", true, upper},  {"b", false, fallback}, // no match: the first default item
    };
    for (const auto& row : rows) {
        auto* section = AddMirrorSection(QStringLiteral("Mirror1"), QString::fromLatin1(row.Value));
        AddMirror(section, QStringLiteral("x"), fallback, true);
        AddMirror(section, QStringLiteral("a"), lower);
        AddMirror(section, QStringLiteral("A"), upper);
        AddMirror(section, QStringLiteral("y"), upper, true); // a second default does not count
        section->SetCompareCase(row.CompareCase);
        section->BeginDataPass();
        EXPECT_EQ(section->Mirror(), row.Expected) << row.Value << row.CompareCase;
        section->EndDataPass();
        EXPECT_EQ(section->Mirror(), nullptr);
        delete section;
    }
}

TEST_F(ZvCsDataTest, MirrorChainThatComesBackStops)
{
    auto* first = AddMirrorSection(QStringLiteral("First"), QStringLiteral("go"));
    auto* second = AddMirrorSection(QStringLiteral("Second"), QStringLiteral("go"));
    AddMirror(first, QStringLiteral("go"), second);
    AddMirror(second, QStringLiteral("go"), first);
    first->BeginDataPass();
    EXPECT_EQ(first->Mirror(), second);
    first->EndDataPass();
}

TEST_F(ZvCsDataTest, MirrorListIsSharedOnlyWhilePrinting)
{
    auto* target = Add<TZarvSection>(QStringLiteral("Target"));
    auto* section = AddMirrorSection(QStringLiteral("Mirror1"), QStringLiteral("a"));
    TZarvDataMirrorList list;
    auto* item = new TZarvDataMirror;
    item->SetDataValue(QStringLiteral("a"));
    item->SetSectionMirror(target);
    list.Add(item);

    section->SetDataMirrors(&list);
    EXPECT_NE(section->DataMirrors(), &list);
    EXPECT_FALSE(section->DirectReference());
    ASSERT_EQ(section->DataMirrors()->Count(), 1);

    Project.SetPrinting(true);
    section->SetDataMirrors(&list);
    Project.SetPrinting(false);
    EXPECT_EQ(section->DataMirrors(), &list);
    EXPECT_TRUE(section->DirectReference());
    delete section; // leaves the shared list alone

    delete target;
    EXPECT_EQ(item->SectionMirror(), nullptr);
}

} // namespace
