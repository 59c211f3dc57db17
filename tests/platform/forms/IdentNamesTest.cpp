// Colours, character sets and cursors written by name in form files: each
// name reads as its number and a number with a name is written back as it;
// a name of the wrong type or none at all fails the load.
#include "tests/platform/forms/ProbeForm.h"

#include "platform/objects/Filer.h"
#include "platform/objects/ObjectText.h"

#include <gtest/gtest.h>

namespace {

class IdentNames : public ::testing::Test {
protected:
    void SetUp() override { RegisterProbeClasses(); }
};

QByteArray WindowWith(const QByteArray& line)
{
    return CompiledText(QByteArray("object fIdent: TfProbe\n  " + line + "\nend\n").constData());
}

TEST_F(IdentNames, NamesReadAsTheirNumbersAndAreWrittenBack)
{
    struct Row {
        int No;
        const char* Path;
        const char* Name;
        int64_t Value;
        bool Written = true; // false: the property's default, left out
    };
    // Values: colours as Colors.h numbers them (RGB $00BBGGRR; system colour n
    // is $FF000000 + n; clNone and clDefault the framework's two markers),
    // character sets as wingdi.h, cursors as the framework's stock cursors.
    const Row rows[] = {
        {1, "Color", "clBlack", 0x000000},
        {2, "Color", "clWhite", 0xFFFFFF},
        {3, "Color", "clScrollBar", int32_t(0xFF000000)}, // first system colour
        {4, "Color", "clBtnFace", int32_t(0xFF00000F)},
        {5, "Color", "clMenuBar", int32_t(0xFF00001E)}, // last system colour
        {6, "Color", "clNone", 0x1FFFFFFF},
        {7, "Color", "clDefault", 0x20000000},
        {8, "Font.Color", "clWindowText", int32_t(0xFF000008), false},
        {9, "Font.Charset", "ANSI_CHARSET", 0},
        {10, "Font.Charset", "OEM_CHARSET", 255},
        {11, "Cursor", "crDefault", 0, false},
        {12, "Cursor", "crHandPoint", -21},
        {13, "Cursor", "crSizeAll", -22},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.No);
        const QByteArray line = QByteArray(row.Path) + " = " + row.Name;
        TfProbe form(nullptr, WindowWith(line));
        EXPECT_EQ(GetPropValue(&form, row.Path).toLongLong(), row.Value);
        const QByteArray text = ObjectBinaryToText(WriteComponentToBytes(&form));
        EXPECT_EQ(text.contains("\n  " + line + "\n"), row.Written) << text.toStdString();
        EXPECT_EQ(text.contains("\n  " + QByteArray(row.Path) + " = "), row.Written);
    }
}

TEST_F(IdentNames, EveryRegisteredNameHasItsOwnValue)
{
    TfProbe form(nullptr, QByteArray());
    for (const char* path : {"Color", "Font.Charset", "Cursor"}) {
        SCOPED_TRACE(path);
        const TPropTarget target = FindPropPath(&form, path);
        ASSERT_NE(target.Prop, nullptr);
        const TIdentMap* map = FindIdentMap(*target.Prop->Type);
        ASSERT_NE(map, nullptr);
        EXPECT_FALSE(map->empty());
        // One name per value, so every name survives a write.
        for (const TIdentMapEntry& entry : *map)
            EXPECT_EQ(IntToIdent(*map, entry.Value), entry.Name);
    }
}

TEST_F(IdentNames, NumbersStayAndWrongNamesFail)
{
    // A colour without a name stays a number.
    TfProbe form(nullptr, WindowWith("Color = 12345"));
    EXPECT_EQ(form.Color(), 12345);
    EXPECT_TRUE(ObjectBinaryToText(WriteComponentToBytes(&form)).contains("\n  Color = 12345\n"));

    struct Row {
        int No;
        const char* Line;
        const char* Message;
    };
    const Row rows[] = {
        {1, "Color = clBtnFaces",
         "Error reading fIdent.Color: Invalid property value: clBtnFaces is no value of TColor"},
        {2, "Cursor = clBtnFace",
         "Error reading fIdent.Cursor: Invalid property value: clBtnFace is no value of TCursor"},
        {3, "Font.Charset = crArrow",
         "Error reading fIdent.Font.Charset: Invalid property value: crArrow is no value of TFontCharset"},
        // Modal results have no names in form files.
        {4, "object b: TButton\n    ModalResult = mrOk\n  end",
         "Error reading b.ModalResult: Invalid property value: mrOk is no value of Integer"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.No);
        TfProbe failed(nullptr, QByteArray());
        try {
            failed.ReadForm(WindowWith(row.Line));
            ADD_FAILURE() << "read";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(row.Message));
        }
    }
}

} // namespace
