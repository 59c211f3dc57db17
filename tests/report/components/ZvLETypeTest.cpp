// Types and identifiers of compiled modules: sizes, member look-up, parameter
// addresses and the sorted identifier list.
#include "report/components/ZvLEType.h"
#include "report/components/ZvLEID.h"

#include <gtest/gtest.h>

using K = ZvLE::TTypeKind;

namespace {

// Records the strings released while freeing a value.
class TReleaseLog : public TTypeDataAccess {
public:
    void ReleaseString(uint32_t address) override { Released.push_back(address); }
    std::vector<uint32_t> Released;
};

} // namespace

TEST(ZvLETypeTest, SizesOfSimpleArrayAndRecordTypes)
{
    // A simple type created with size 0 takes its kind's size.
    EXPECT_EQ(TSimpleType(K::tkInteger).GetSize(), 4);
    EXPECT_EQ(TSimpleType(K::tkExtended).GetSize(), 10);
    EXPECT_EQ(TSimpleType(K::tkString).GetSize(), 8);

    TSimpleType word(K::tkWord);
    TSimpleType index(K::tkInteger);
    TArrayType array(&word);
    array.AddDim(1, 3, &index);
    array.AddDim(0, 1, &index);
    EXPECT_EQ(array.GetDimSize(1), 2); // one element
    EXPECT_EQ(array.GetDimSize(0), 4); // two elements of the last dimension
    EXPECT_EQ(array.GetSize(), 12);    // 3 * 2 * 2
    EXPECT_EQ(array.GetCount(0), 3);
    EXPECT_EQ(array.GetLow(2), 0); // outside the dimensions
    EXPECT_EQ(array.GetDimType(2), nullptr);

    TSimpleType text(K::tkString);
    TRecordType record;
    record.AddElement(QStringLiteral("Name"), &text);
    record.AddElement(QStringLiteral("Count"), &index);
    EXPECT_TRUE(record.NeedFree());
    EXPECT_EQ(record.GetSize(), 12);

    // Freeing walks the members by their sizes; an array of those records
    // frees every element's string.
    TArrayType records(&record);
    records.AddDim(0, 1, &index);
    TReleaseLog log;
    records.FreeData(log, 1000);
    EXPECT_EQ(log.Released, (std::vector<uint32_t>{1000, 1012}));
}

TEST(ZvLETypeTest, MembersAndParameters)
{
    TSimpleType integer(K::tkInteger);
    TSimpleType extended(K::tkExtended);
    TRecordType record;
    record.AddElement(QStringLiteral("First"), &extended);
    record.AddElement(QStringLiteral("Second"), &integer);
    int32_t offset = -1;
    int32_t index = -1;
    TStructureMember* member = nullptr;
    EXPECT_FALSE(record.FindMember(QStringLiteral("Third"), AllScopes, offset, member, index));
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(member, nullptr);
    EXPECT_TRUE(record.FindMember(QStringLiteral("SECOND"), AllScopes, offset, member, index));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(offset, 10);

    // A class finds what its parent declares; a class value is a reference.
    TClassType parent(nullptr, QStringLiteral("TBase"));
    parent.AddField(QStringLiteral("Tag"), &integer, TScope::scPublic);
    TClassType child(&parent, QStringLiteral("TChild"));
    child.AddField(QStringLiteral("Hidden"), &integer, TScope::scPrivate);
    EXPECT_TRUE(child.FindMember(QStringLiteral("Tag"), ScopeBit(TScope::scPublic), offset, member, index));
    EXPECT_FALSE(
        child.FindMember(QStringLiteral("Hidden"), ScopeBit(TScope::scPublic), offset, member, index));
    EXPECT_EQ(child.GetSize(), 4);
    EXPECT_EQ(child.InstanceSize(), 8);

    // Parameters sit above the saved BP, return offset and return module.
    TFuncType function;
    function.AddParam(QStringLiteral("A"), TParamType::ptValue);
    function.AddParam(QStringLiteral("B"), TParamType::ptVar);
    function.AddParam(QStringLiteral("C"), TParamType::ptValue);
    EXPECT_EQ(function.GetParamAddr(0).Offset, 20);
    EXPECT_EQ(function.GetParamAddr(2).Offset, 12);
    EXPECT_EQ(function.GetParamAddr(3).Offset, 24); // the result slot
    EXPECT_EQ(function.GetParamAddr(0).Loc, TAddressLoc::alBP);
}

TEST(ZvLETypeTest, IdentifiersAreSortedAndUniqueWithoutRegardToCase)
{
    TIDManager ids(nullptr);
    EXPECT_NE(ids.Add(std::make_unique<TVarID>(QStringLiteral("Total"), nullptr)), nullptr);
    EXPECT_NE(ids.Add(std::make_unique<TFuncID>(QStringLiteral("apply"), nullptr)), nullptr);
    EXPECT_EQ(ids.Add(std::make_unique<TVarID>(QStringLiteral("TOTAL"), nullptr)), nullptr);
    ASSERT_EQ(ids.Count(), 2);
    EXPECT_EQ(ids.IDList[0]->ID(), QStringLiteral("apply"));
    EXPECT_EQ(ids.Find(QStringLiteral("total"))->IDKind(), TIDKind::idkVar);
    EXPECT_EQ(ids.Find(QStringLiteral("Missing")), nullptr);
    EXPECT_EQ(ids.IDIdx, 1); // where it would go
}
