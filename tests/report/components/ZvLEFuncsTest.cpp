// The script function library: the native table and its registration,
// SYSFUNC through assembled byte code, and the class wrappers on real
// objects.
#include "report/components/ZvLEFuncs.h"
#include "ComponentFixtures.h"
#include "platform/forms/MessageService.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Extended80.h"
#include "platform/rtl/NumberText.h"
#include "report/components/ZvCsBars.h"
#include "report/components/ZvCsData.h"
#include "report/components/ZvCsDraw.h"
#include "report/components/ZvCsRpt.h"
#include "report/components/ZvCsStd.h"
#include "report/components/ZvLEModule.h"
#include "report/components/ZvLERun.h"
#include "report/model/ZvDatabase.h"
#include "report/model/ZvDirectDataView.h"
#include "report/model/ZvDriverDataView.h"
#include "report/model/ZvSecurity.h"
#include "report/print/QpSystem.h"
#include "tests/support/MemoryDataView.h"
#include "tests/support/ZvAssembler.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>

using A = TZvAddr;
using K = ZvLE::TTypeKind;

namespace {

// Every function of the library, as "CLASS: MEMBER, GET/SET PROPERTY, ..."
// per module (SYSFUNC without a class).
const std::map<QString, QStringList> kLibrary = {
    {"SYSFUNC",
     {": SHOWMESSAGE, INTTOSTR, STRTOINT, STRTOINTDEF, STRTOFLOAT, FLOATTOSTR, COPY, DELETE, INSERT, LENGTH, "
      "POS, "
      "COMPARE, COMPARECASE, TRIM, TRIMLEFT, TRIMRIGHT, MAKESTR, UPPERCASE, LOWERCASE, CHR, CURRTOSTR, "
      "STRTOCURR, "
      "DATETIMETOSTR, STRTODATETIME, DATETOSTR, STRTODATE, TIMETOSTR, STRTOTIME, ABS, ABSEXT, ARCTAN, COS, "
      "SIN, EXP, "
      "FRAC, LN, ROUND, TRUNC, ODD, PI, RANDOM, RANDOMIZE, SQR, SQRT, BEEP, DATE, DAYOFWEEK, BREAKUPDATE, "
      "BREAKUPTIME, CREATEDATE, CREATETIME, NOW, QUOTEDSTR, FORMATFLOAT"}},
    {"ZVBASE",
     {"TBASEREPORT: CR, LF, CRLF, NEWLINE, SOFTLINE, GOTOXY, HOME, LINESLEFT, COLUMNLINESLEFT, PRINTJUSTIFY, "
      "PRINT, "
      "PRINTCENTER, PRINTHEADER, PRINTFOOTER, PRINTLEFT, PRINTBLOCK, PRINTLN, PRINTRIGHT, PRINTXY, "
      "PRINTCHARJUSTIFY, "
      "PRINTTAB, ARC, CHORD, ELLIPSE, LINETO, MOVETO, PIE, RECTANGLE, ROUNDRECT, SETBRUSH, SETFONT, SETPEN, "
      "ALLOWPREVIEWONLY, ALLOWPRINTERONLY, ALLOWALL, RESETLINEHEIGHT, ADJUSTLINE, NEWCOLUMN, GOTOHEADER, "
      "GOTOFOOTER, "
      "SETTOPOFPAGE, POPPOS, PUSHPOS, RESTOREPOS, SAVEPOS, POPTABS, PUSHTABS, RESTORETABS, SAVETABS, "
      "POPFONT, "
      "PUSHFONT, RESTOREFONT, SAVEFONT, GET/SET COLUMNS, GET/SET COLUMNWIDTH, CLEARCOLUMNS, SETTAB, "
      "CLEARTABS, "
      "CLEARALLTABS, RESETTABS, TAB, TABSTART, TABEND, TABWIDTH, FINISHTABBOX, TEXTWIDTH, TRUNCATETEXT, "
      "MACRO, PIVAR, "
      "SETPIVAR, GETCURRENTPAGE, GET/SET TEXTFIELDWIDTH, GET/SET IGNOREQPTF, GETCURSORXPOS, GETCURSORYPOS, "
      "GET/SET "
      "XPOS, GET/SET YPOS, GETRELATIVEPAGE, GET/SET PAGENUMOFFSET, GETPAGEINVALID, GETOUTPUTINVALID, "
      "GETXDPI, "
      "GETYDPI, GET/SET LINENUM, GET/SET COLUMNNUM, GETCOLUMNSTART, GETCOLUMNEND, GETLEFTWASTE, "
      "GETRIGHTWASTE, "
      "GETTOPWASTE, GETBOTTOMWASTE, GET/SET SECTIONLEFT, GET/SET SECTIONTOP, GET/SET SECTIONBOTTOM, GET/SET "
      "SECTIONRIGHT, GETPAGEHEIGHT, GETPAGEWIDTH, GET/SET BOLD, GET/SET ITALIC, GET/SET STRIKEOUT, GET/SET "
      "SUPERSCRIPT, GET/SET SUBSCRIPT, GET/SET FONTROTATION, GET/SET FONTCOLOR, GET/SET FONTNAME, GET/SET "
      "FONTSIZE, "
      "GET/SET FONTPITCH, GET/SET FONTCHARSET, GET/SET FONTALIGN, GET/SET LINETOP, GET/SET LINEMIDDLE, "
      "GET/SET "
      "LINEBOTTOM, GET/SET FONTTOP, GET/SET FONTBASELINE, GET/SET FONTBOTTOM, GET/SET TABJUSTIFY, GET/SET "
      "TRANSPARENTBITMAPS, GET/SET PARAJUSTIFY, GET/SET NOBUFFERLINE, GET/SET NONTCOLORFIX, GET/SET "
      "USEDRAWTEXT, "
      "GET/SET CURRENTPASS, GET/SET TOTALPASSES, GET/SET FIXEDTABWIDTH, GET/SET PRINTERINDEX, GETDEVICENAME, "
      "GETDRIVERNAME, GETPORT, GETABORTED, GETPRINTING, GET/SET ORIGINX, GET/SET ORIGINY, GET/SET BKCOLOR, "
      "GET/SET "
      "LINEHEIGHT, GETASCENTHEIGHT, GETDESCENTHEIGHT, GET/SET FONTHEIGHT, GET/SET FONTWIDTH, GET/SET "
      "OUTPUTNAME, "
      "GET/SET NOPRINTERPAGEHEIGHT, GET/SET NOPRINTERPAGEWIDTH, GET/SET FIRSTPAGE, GET/SET LASTPAGE, GET/SET "
      "SELECTION, GET/SET STATUSFORMAT, GET/SET LINEHEIGHTMETHOD, GET/SET LINESPERINCH, GET/SET UNITS, "
      "GET/SET "
      "UNITSFACTOR, GET/SET MARGINLEFT, GET/SET MARGINRIGHT, GET/SET MARGINTOP, GET/SET MARGINBOTTOM, "
      "GET/SET "
      "TABSHADE, GET/SET TABCOLOR, GET/SET BOXLINECOLOR, GET/SET TITLE, GET/SET TEXTBKMODE, GET/SET COPIES, "
      "GET/SET "
      "ORIENTATION, GET/SET SCALEX, GET/SET SCALEY"}},
    {"ZVCLASS",
     {"TZARVCOMPONENT: GET/SET LOCKED, GET/SET VISIBLE, GET/SET NAME, GET/SET TAG, SHOW, HIDE, MOVEFORWARD, "
      "MOVEBEHIND, BRINGTOFRONT, SENDTOBACK, XU2I, YU2I, XI2U, YI2U, PAGELEFT, PAGETOP, PAGERIGHT, "
      "PAGEBOTTOM",
      "TZARVCONTROL: GET/SET FONTJUSTIFY, GET/SET BACKCOLOR, GET/SET FORECOLOR, GET/SET FILLSTYLE, GET/SET "
      "TEXT, "
      "GET/SET LINEWIDTH, GET/SET LINEWIDTHTYPE, GET/SET LINESTYLE, GET/SET BOUNDSRECT, GET/SET LEFT, "
      "GET/SET RIGHT, "
      "GET/SET TOP, GET/SET BOTTOM, GET/SET WIDTH, GET/SET HEIGHT, GET/SET DISPLAYON, REFLECT, ADJLEFT, "
      "ADJTOP, "
      "ADJWIDTH, ADJHEIGHT, VANCHOR, HANCHOR",
      "TZARVPROJECTITEM: GET/SET DESCRIPTION, GET/SET FULLNAME",
      "TZARVPAGE: GET/SET BIN, GET/SET BINCUSTOM, GET/SET GOTOMODE, GET/SET GOTOPAGE, GET/SET GRIDLINES, "
      "GET/SET "
      "GRIDSPACING, GET/SET ORIENTATION, GET/SET PAGEHEIGHT, GET/SET PAGEWIDTH, GET/SET PAPERSIZE, GET/SET "
      "WASTEFIT"}},
    {"ZVCSBARS",
     {"TZARVBASEBARCODE: GET/SET DATAFIELD, GET/SET DATAVIEW, GET/SET AUTOSIZE, GET/SET FONT, GET/SET TEXT, "
      "GET/SET "
      "BARCODEJUSTIFY, GET/SET BARWIDTH, GET/SET BARHEIGHT, GET/SET BARTOP, GET/SET TEXTJUSTIFY, GET/SET "
      "USECHECKSUM, GET/SET WIDEFACTOR, GET/SET PRINTREADABLE, GET/SET PRINTCHECKSUM, GET/SET PRINTTOP, "
      "GET/SET "
      "BARCODEROTATION, GET/SET CENTER",
      "TZARVCODE39BARCODE: GET/SET EXTENDED", "TZARVCODE128BARCODE: GET/SET CODEPAGE, GET/SET OPTIMIZE"}},
    {"ZVCSDATA",
     {"TZARVDATATEXT: GET/SET DATAFIELD, GET/SET DATAVIEW, GET/SET LOOKUPDATAVIEW, GET/SET LOOKUPFIELD, "
      "GET/SET "
      "LOOKUPDISPLAY, GET/SET LOOKUPINVALID",
      "TZARVDATAMEMO: GET/SET DATAFIELD, GET/SET DATAVIEW",
      "TZARVCALCTEXT: GET/SET CALCTYPE, GET/SET CONTROLLER, GET/SET COUNTBLANKS, GET/SET DATAVIEW, GET/SET "
      "DATAFIELD, GET/SET DISPLAYFORMAT, GET/SET DISPLAYTYPE, GET/SET INITIALIZER, GET/SET RUNNINGTOTAL, "
      "GETVALUE",
      "TZARVCALCVARIABLE: GETVALUE, GETISNULL, GET/SET DESTPARAM, GET/SET DESTPIVAR, GET/SET DISPLAYFORMAT, "
      "GET/SET "
      "DISPLAYTYPE",
      "TZARVCALCOP: GET/SET SRC1CALCVAR, GET/SET SRC1DATAFIELD, GET/SET SRC1DATAVIEW, GET/SET SRC1VALUE, "
      "GET/SET "
      "SRC1FUNCTION, GET/SET SRC2CALCVAR, GET/SET SRC2DATAFIELD, GET/SET SRC2DATAVIEW, GET/SET SRC2VALUE, "
      "GET/SET "
      "SRC2FUNCTION, GET/SET OPERATOR, GET/SET RESULTFUNCTION",
      "TZARVCALCTOTAL: GET/SET CALCTYPE, GET/SET CALCVAR, GET/SET CONTROLLER, GET/SET COUNTBLANKS, GET/SET "
      "DATAVIEW, "
      "GET/SET DATAFIELD, GET/SET INITIALIZER, GET/SET RUNNINGTOTAL",
      "TZARVCALCCONTROLLER: GET/SET INITCALCVAR, GET/SET INITDATAFIELD, GET/SET INITVALUE",
      "TZARVDATAMIRRORSECTION: GET/SET COMPARECASE, GET/SET DATAFIELD, GET/SET DATAVIEW"}},
    {"ZVCSDRAW",
     {"TZARVLINE: GET/SET COLOR, GET/SET LINESTYLE, GET/SET LINEWIDTH, GET/SET LINEWIDTHTYPE, GET/SET NESW",
      "TZARVSURFACE: GET/SET FORECOLOR, GET/SET LINEWIDTH, GET/SET LINESTYLE, GET/SET BACKCOLOR",
      "TZARVRECTANGLE: GET/SET HRADIUS, GET/SET VRADIUS"}},
    {"ZVCSRPT",
     {"TZARVREGION: GET/SET COLUMNS, GET/SET COLUMNSPACING",
      "TZARVBAND: GETREGION, GET/SET ALLOWSPLIT, GET/SET DESIGNERHIDE, GET/SET FINISHNEWPAGE, GET/SET "
      "GROUPDATAVIEW, "
      "GET/SET GROUPKEY, GET/SET MINHEIGHTLEFT, GET/SET POSITIONMODE, GET/SET POSITIONVALUE, GET/SET "
      "STARTNEWPAGE",
      "TZARVITERATEBAND: GET/SET COLUMNS, GET/SET COLUMNSPACING, GET/SET KEEPBODYTOGETHER, GET/SET "
      "KEEPROWTOGETHER, "
      "GET/SET MAXROWS, GET/SET INITTOFIRST, GET/SET ORPHANROWS, GET/SET WIDOWROWS",
      "TZARVDATABAND: GET/SET DATAVIEW, GET/SET DETAILKEY, GET/SET MASTERDATAVIEW, GET/SET MASTERKEY, "
      "GET/SET SORTKEY",
      "TZARVDATACYCLE: GET/SET DATAVIEW, GET/SET DETAILKEY, GET/SET INITTOFIRST, GET/SET MASTERDATAVIEW, "
      "GET/SET "
      "MASTERKEY, GET/SET MAXROWS, GET/SET SORTKEY"}},
    {"ZVCSSTD",
     {"TZARVFONTMASTER: GET/SET FONT",
      "TZARVPAGENUMINIT: GET/SET INITVALUE, GET/SET INITDATAVIEW, GET/SET INITDATAFIELD",
      "TZARVCUSTOMTEXT: GET/SET FONTMIRROR, GET/SET COLOR, GET/SET FONT",
      "TZARVTEXT: GET/SET ROTATION, GET/SET TRUNCATE", "TZARVSECTION: GET/SET WASTEFIT",
      "TZARVBASEIMAGE: GET/SET MATCHSIDE, GET/SET FILELINK, GET/SET DATAFIELD, GET/SET DATAVIEW",
      "TZARVGRAPHICIMAGE: IMAGENAME, IMAGEFILTER",
      "TZARVMAILMERGEITEM: GET/SET CASEMATTERS, GET/SET REPLACESTRING, GET/SET SEARCHTOKEN",
      "TZARVMEMO: GET/SET CONTAINSRTF, GET/SET EXPANDPARENT, GET/SET MEMOTEXT, GET/SET TRUNCATE"}},
    {"ZVDATA",
     {"TZARVDATAFIELD: GET/SET DESCRIPTION, GET/SET FIELDNAME, GET/SET FULLNAME, GET/SET NULLTEXT, GET/SET "
      "SIZE, "
      "DATATYPE, ASSTRING, ASBOOLEAN, ASINTEGER, ASFLOAT, ASCURRENCY, ASDATETIME, ASDATE, ASTIME, ASBLOB, "
      "DATASIZE, "
      "ISNULL",
      "TZARVFORMATTEDFIELD: GET/SET DISPLAYFORMAT", "TZARVBOOLEANFIELD: GET/SET TEXTTRUE, GET/SET TEXTFALSE",
      "TZARVBASEDATAVIEW: FIRST, NEXT, GETCURRENTROW, EOF, CHECKROWSLEFT, FIELDBYNAME, PEEK, UNPEEK, EMPTY, "
      "SAVING",
      "TZARVDATAVIEW: GET/SET ACTIVE, GET/SET CONNECTIONNAME",
      "TZARVDBAUTH: GET/SET DATASOURCE, GET/SET OPTIONS, GET/SET PASSWORD, GET/SET USERNAME",
      "TZARVDATABASE: GETAUTHDESIGN, GETAUTHRUN, GET/SET LINKPOOLSIZE, GET/SET LINKTYPE",
      "TZARVDRIVERDATAVIEW: GET/SET DATABASE, GET/SET QUERY", "TZARVBASESECURITY: ISVALIDUSER",
      "TZARVSIMPLESECURITY: GET/SET CASEMATTERS",
      "TZARVLOOKUPSECURITY: GET/SET DATAVIEW, GET/SET USERFIELD, GET/SET PASSWORDFIELD"}},
    {"ZVPROJ",
     {"TZARVREPORT: GET/SET ALWAYSGENERATE, GET/SET CATEGORY, GET/SET COPIES, GET/SET FIRSTPAGE, "
      "PAGELISTADD, "
      "PAGELISTDELETE, GET/SET COLLATE, GET/SET DUPLEX, GET/SET MAXPAGES, GET/SET PRINTER, GET/SET "
      "RESOLUTION",
      "TZARVPROJECTMANAGER: GET/SET UNITS, GET/SET UNITSFACTOR, FINDZARVCOMPONENT, GET/SET PARAM"}},
};

QStringList NamesOf(const QString& line)
{
    const QString cls = line.section(QLatin1Char(':'), 0, 0).trimmed();
    QStringList names;
    for (QString member : line.section(QLatin1Char(':'), 1).split(QLatin1Char(','))) {
        member = member.trimmed();
        const QString prefix = cls.isEmpty() ? QString() : cls + QLatin1Char('.');
        if (member.startsWith(QLatin1String("GET/SET "))) {
            names << prefix + QStringLiteral("GET") + member.mid(8)
                  << prefix + QStringLiteral("SET") + member.mid(8);
        } else {
            names << prefix + member;
        }
    }
    return names;
}

const TRCPUNative& Native(const QString& module, const QString& name)
{
    const TRCPUNative* native = FindNativeFunc(name, module);
    if (!native)
        throw std::runtime_error(("not registered: " + module + "." + name).toStdString());
    return *native;
}

uint32_t HandleOf(TObject* object)
{
    return RCPUHandles().Acquire(object);
}

std::vector<uint32_t> DoubleWords(double value)
{
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    return {uint32_t(bits >> 32), uint32_t(bits)};
}

// A native called directly with argument words.
TRCPUNativeResult Call(const QString& module, const QString& name, std::vector<uint32_t> words)
{
    TRCPURunner cpu;
    return Native(module, name).Proc(cpu, words);
}

QString Failure(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& error) {
        return error.Message();
    }
    return QStringLiteral("no error");
}

// The SYSFUNC library module: a stub per function that hands the arguments
// its caller pushed (in declaration order, then the address of the result)
// to the native. Argument sizes: 4 a word, 8 a Double, 10 an Extended
// (pushed as 12 bytes).
struct TStub {
    const char* Name;
    std::vector<uint32_t> Sizes;
    int Kind; // result kind; -1 a procedure
};
const int kInt = int(K::tkInteger), kStr = int(K::tkString), kExt = int(K::tkExtended);
const std::vector<TStub> kStubs = {
    {"COPY", {4, 4, 4}, kStr},
    {"POS", {4, 4}, kInt},
    {"STRTOINTDEF", {4, 4}, kInt},
    {"COMPARE", {4, 4}, kInt},
    {"COMPARECASE", {4, 4}, kInt},
    {"QUOTEDSTR", {4, 4}, kStr},
    {"MAKESTR", {4, 4}, kStr},
    {"DELETE", {4, 4, 4}, -1},
    {"INSERT", {4, 4, 4}, -1},
    {"ROUND", {10}, kInt},
    {"TRUNC", {10}, kInt},
    {"RANDOM", {4}, kInt},
    {"ABS", {4}, kInt},
    {"DAYOFWEEK", {8}, kInt},
    {"BREAKUPDATE", {8, 4, 4, 4}, -1},
    {"CREATEDATE", {4, 4, 4}, kExt},
    {"STRTOINT", {4}, kInt},
    {"FLOATTOSTR", {10}, kStr},
    {"STRTOFLOAT", {4}, kExt},
    {"SHOWMESSAGE", {4}, -1},
};

uint32_t StackSize(uint32_t size)
{
    return size == 10 ? 12 : size;
}

// The library's code; the entry of each stub is its label.
const TZvAssembler& LibraryCode()
{
    static const TZvAssembler code = [] {
        TZvAssembler lib;
        for (const TStub& stub : kStubs) {
            lib.Label(QString::fromLatin1(stub.Name)).Op(Zop::Enter).Index(0);
            // BP + 12 is the last word pushed: the result's address, then the
            // arguments from the last to the first.
            uint32_t offset = 12 + (stub.Kind >= 0 ? 4 : 0);
            std::vector<uint32_t> offsets(stub.Sizes.size());
            for (size_t i = stub.Sizes.size(); i-- > 0;) {
                offsets[i] = offset;
                offset += StackSize(stub.Sizes[i]);
            }
            for (size_t i = 0; i < stub.Sizes.size(); ++i) {
                if (stub.Sizes[i] == 4) {
                    lib.Op(Zop::Arg).Addr(A::Frame(int32_t(offsets[i])));
                } else {
                    lib.Op(Zop::PushAddr)
                        .Addr(A::Frame(int32_t(offsets[i])))
                        .Op(Zop::ArgBytes)
                        .Addr(A::Stack(0));
                    lib.Index(stub.Sizes[i]).Op(Zop::Drop).Index(4);
                }
            }
            if (stub.Kind >= 0)
                lib.Op(Zop::NativeCall).Byte(uint8_t(stub.Kind)).Addr(A::Frame(12));
            else
                lib.Op(Zop::NativeProc);
            lib.Slot(QString::fromLatin1(stub.Name)).Op(Zop::Return).Index(offset - 12);
        }
        return lib;
    }();
    return code;
}

// One call of a SYSFUNC function from a caller module that uses the
// library: every argument has a 16-byte data slot, the result follows.
class TSysCall {
public:
    TSysCall(TZarvProjectManager& project, const char* name) : FProject(project), FName(name)
    {
        for (const TStub& stub : kStubs)
            if (QLatin1String(stub.Name) == FName)
                FStub = &stub;
    }

    TSysCall& Int(int32_t value) { return Slot(&value, 4, false); }
    TSysCall& Str(const QString& text)
    {
        const uint32_t handle = RCPUStrings().New(text);
        return Slot(&handle, 4, false);
    }
    TSysCall& Ext(long double value)
    {
        const TExtended80Rec bytes = LongDoubleToExtended(value);
        return Slot(bytes.data(), 10, false);
    }
    TSysCall& Dbl(double value) { return Slot(&value, 8, false); }
    // A var parameter: the address of its slot.
    TSysCall& VarStr(const QString& text)
    {
        const uint32_t handle = RCPUStrings().New(text);
        return Slot(&handle, 4, true);
    }
    TSysCall& VarWord() { return Slot("\0\0\0\0", 4, true); }

    TSysCall& Run()
    {
        if (!FStub || FStub->Sizes != FSizes)
            throw std::logic_error("no such stub");
        TZvAssembler code;
        for (size_t i = 0; i < FSizes.size(); ++i) {
            const A slot = A::Data(uint32_t(16 * i));
            if (FVars[i])
                code.Op(Zop::PushAddr).Addr(slot);
            else if (FSizes[i] == 4)
                code.Op(Zop::PushValue).Addr(slot);
            else
                code.Op(Zop::PushBytes).Index(StackSize(FSizes[i])).Addr(slot);
        }
        if (FStub->Kind >= 0)
            code.Op(Zop::PushAddr).Addr(A::Data(ResultOffset()));
        code.Op(Zop::FarCall).Index(1).Index(uint32_t(LibraryCode().LabelOffset(FName))).Op(Zop::Halt);
        TZarvReport* report = FProject.ActiveReport();
        TZvModuleBuilder builder(QStringLiteral("Caller"));
        builder.Code(code).DataSize(int32_t(ResultOffset() + 16));
        builder.Module().SetProjectBinding(&FProject, report);
        if (!builder.Module().AddModule(QStringLiteral("SYSFUNC")))
            throw std::logic_error("SYSFUNC not found");
        FModule = builder.Load(&FProject, report);
        std::memcpy(FModule->GetDataBuf().data(), FData.data(), FData.size());
        TRCPURunner runner;
        std::unique_ptr<TObject> state;
        runner.Execute(FModule.get(), nullptr, state);
        return *this;
    }
    int32_t Integer() { return Word(ResultOffset()); }
    QString String() { return RCPUStrings().Text(uint32_t(Word(ResultOffset()))); }
    long double Extended() { return ExtendedToLongDouble(FModule->GetDataBuf().data() + ResultOffset()); }
    // The value of the var parameter in slot i.
    QString StringAt(int i) { return RCPUStrings().Text(uint32_t(Word(16 * i))); }
    int WordAt(int i) { return Word(16 * i) & 0xFFFF; }

private:
    TSysCall& Slot(const void* bytes, uint32_t size, bool var)
    {
        const size_t at = FData.size();
        FData.resize(at + 16, 0);
        std::memcpy(FData.data() + at, bytes, size);
        FSizes.push_back(size);
        FVars.push_back(var);
        return *this;
    }
    uint32_t ResultOffset() const { return uint32_t(FData.size()); }
    int32_t Word(uint32_t offset)
    {
        int32_t value = 0;
        std::memcpy(&value, FModule->GetDataBuf().data() + offset, 4);
        return value;
    }

    TZarvProjectManager& FProject;
    QString FName;
    const TStub* FStub = nullptr;
    std::vector<uint8_t> FData;
    std::vector<uint32_t> FSizes;
    std::vector<bool> FVars;
    std::unique_ptr<TRCPUModule> FModule;
};

class ZvLEFuncsTest : public ComponentTest {
protected:
    void SetUp() override
    {
        RecordScriptLibraryProcs();
        ComponentTest::SetUp(); // runs every recorded procedure
        RCPUStepLimit = 100000;
        FOldFolder = ModuleFileFolder();
        SetModuleFileFolder(FModules.path());
    }
    void TearDown() override
    {
        SetModuleFileFolder(FOldFolder);
        RCPUStepLimit = 0;
        ComponentTest::TearDown();
    }
    // A library module in the module folder, where the project's module
    // manager loads (and binds) it from.
    void PlaceModule(TZvModuleBuilder& builder, const QString& name)
    {
        QFile file(QDir(FModules.path()).filePath(name + QStringLiteral(".ZVC")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(builder.Bytes());
    }
    TSysCall Sys(const char* name)
    {
        if (!FLibraryPlaced) {
            TZvModuleBuilder library(QStringLiteral("SYSFUNC"));
            library.Code(LibraryCode()).DataSize(4);
            PlaceModule(library, QStringLiteral("SYSFUNC"));
            FLibraryPlaced = true;
        }
        return TSysCall(Project, name);
    }

    QTemporaryDir FModules;
    QString FOldFolder;
    bool FLibraryPlaced = false;
};

} // namespace

TEST_F(ZvLEFuncsTest, TheRegistryHoldsEveryFunctionOnce)
{
    RegisterProjectComponentClass();
    TZvProject first(nullptr); // registers what the start-up recorded, when it is the first
    const std::map<QString, int> counts = {
        {"SYSFUNC", 54},  {"ZVBASE", 233}, {"ZVCLASS", 87}, {"ZVCSBARS", 40}, {"ZVCSDATA", 97},
        {"ZVCSDRAW", 22}, {"ZVCSRPT", 63}, {"ZVCSSTD", 44}, {"ZVDATA", 69},   {"ZVPROJ", 27}};
    std::set<QString> expected;
    for (const auto& [module, lines] : kLibrary) {
        std::set<QString> names;
        for (const QString& line : lines)
            for (const QString& name : NamesOf(line))
                names.insert(name);
        EXPECT_EQ(int(names.size()), counts.at(module)) << module.toStdString();
        for (const QString& name : names) {
            EXPECT_NE(FindNativeFunc(name, module), nullptr) << (module + "." + name).toStdString();
            expected.insert(module + QLatin1Char('.') + name);
        }
    }
    ASSERT_EQ(expected.size(), 736u);
    std::set<QString> table;
    for (const TNativeFuncRow& row : NativeFuncTable())
        EXPECT_TRUE(table.insert(row.Module + QLatin1Char('.') + row.Name).second) << row.Name.toStdString();
    EXPECT_EQ(table, expected);
    // The modules come in order, each module's rows together.
    QStringList modules;
    for (const TNativeFuncRow& row : NativeFuncTable())
        if (modules.isEmpty() || modules.last() != row.Module)
            modules << row.Module;
    EXPECT_EQ(
        modules.join(QLatin1Char(' ')),
        QStringLiteral("SYSFUNC ZVBASE ZVCLASS ZVCSBARS ZVCSDATA ZVCSDRAW ZVCSRPT ZVCSSTD ZVDATA ZVPROJ"));
}

TEST_F(ZvLEFuncsTest, StringFunctionsThroughByteCode)
{
    EXPECT_EQ(Sys("COPY").Str("abcdef").Int(2).Int(3).Run().String(), QStringLiteral("bcd"));
    EXPECT_EQ(Sys("COPY").Str("abcdef").Int(9).Int(3).Run().String(), QString());
    EXPECT_EQ(Sys("COPY").Str("abcdef").Int(-5).Int(2).Run().String(), QStringLiteral("ab"));
    EXPECT_EQ(Sys("COPY").Str("abcdef").Int(5).Int(-1).Run().String(), QString());
    EXPECT_EQ(Sys("POS").Str("cd").Str("abcdcd").Run().Integer(), 3);
    EXPECT_EQ(Sys("POS").Str("x").Str("abc").Run().Integer(), 0);
    EXPECT_EQ(Sys("STRTOINTDEF").Str("12a").Int(7).Run().Integer(), 7);
    EXPECT_EQ(Sys("COMPARE").Str("abc").Str("ABC").Run().Integer(), 0);
    EXPECT_NE(Sys("COMPARECASE").Str("abc").Str("ABC").Run().Integer(), 0);
    EXPECT_EQ(Sys("QUOTEDSTR").Str("it's").Int('\'').Run().String(), QStringLiteral("'it''s'"));
    EXPECT_EQ(Sys("MAKESTR").Int('*').Int(3).Run().String(), QStringLiteral("***"));
    EXPECT_EQ(Sys("MAKESTR").Int('*').Int(-3).Run().String(), QString());
    EXPECT_THROW(Sys("MAKESTR").Int('*').Int(0x7FFFFFFF).Run(), ERangeError);

    // Var parameters: the string and the words are written back.
    EXPECT_EQ(Sys("DELETE").VarStr("abcdef").Int(2).Int(3).Run().StringAt(0), QStringLiteral("aef"));
    for (const auto& [index, count] : std::vector<std::pair<int, int>>{{0, 2}, {7, 1}, {3, -4}})
        EXPECT_EQ(Sys("DELETE").VarStr("abcdef").Int(index).Int(count).Run().StringAt(0),
                  QStringLiteral("abcdef"));
    EXPECT_EQ(Sys("DELETE").VarStr("abcdef").Int(5).Int(99).Run().StringAt(0), QStringLiteral("abcd"));
    EXPECT_EQ(Sys("INSERT").Str("XY").VarStr("abc").Int(2).Run().StringAt(1), QStringLiteral("aXYbc"));
    EXPECT_EQ(Sys("INSERT").Str("XY").VarStr("abc").Int(50).Run().StringAt(1), QStringLiteral("abcXY"));
    EXPECT_EQ(Sys("INSERT").Str("XY").VarStr("abc").Int(-50).Run().StringAt(1), QStringLiteral("XYabc"));
}

TEST_F(ZvLEFuncsTest, NumbersDatesAndMessagesThroughByteCode)
{
    EXPECT_EQ(Sys("ROUND").Ext(2.5L).Run().Integer(), 2);
    EXPECT_EQ(Sys("ROUND").Ext(3.5L).Run().Integer(), 4);
    EXPECT_EQ(Sys("TRUNC").Ext(-2.7L).Run().Integer(), -2);
    EXPECT_THROW(Sys("ROUND").Ext(1e19L).Run(), EInvalidOp);
    EXPECT_THROW(Sys("TRUNC").Ext(std::numeric_limits<long double>::quiet_NaN()).Run(), EInvalidOp);
    EXPECT_EQ(Sys("RANDOM").Int(0).Run().Integer(), 0);
    EXPECT_EQ(Sys("RANDOM").Int(-4).Run().Integer(), 0);
    const int random = Sys("RANDOM").Int(3).Run().Integer();
    EXPECT_TRUE(random >= 0 && random < 3);
    EXPECT_EQ(Sys("ABS").Int(std::numeric_limits<int32_t>::min()).Run().Integer(),
              std::numeric_limits<int32_t>::min());

    const double y2k = 36526.0; // 1 January 2000, a Saturday
    EXPECT_EQ(Sys("DAYOFWEEK").Dbl(y2k).Run().Integer(), 7);
    TSysCall parts = Sys("BREAKUPDATE");
    parts.Dbl(y2k + 0.5).VarWord().VarWord().VarWord().Run();
    EXPECT_EQ(QList<int>({parts.WordAt(1), parts.WordAt(2), parts.WordAt(3)}), QList<int>({2000, 1, 1}));
    EXPECT_THROW(Sys("CREATEDATE").Int(2001).Int(2).Int(29).Run(), EConvertError);
    EXPECT_THROW(Sys("STRTOINT").Str("12a").Run(), EConvertError);

    // The rtl's decimal separator drives number text both ways.
    SetDecimalSeparator(QLatin1Char(','));
    EXPECT_EQ(Sys("FLOATTOSTR").Ext(1.5L).Run().String(), QStringLiteral("1,5"));
    EXPECT_EQ(Sys("STRTOFLOAT").Str("2,25").Run().Extended(), 2.25L);
    EXPECT_THROW(Sys("STRTOFLOAT").Str("2.25").Run(), EConvertError);
    ResetNumberSeparators();

    auto* service = new TScriptedMessageService;
    SetMessageService(std::unique_ptr<TMessageService>(service));
    Sys("SHOWMESSAGE").Str("Hello").Run();
    ASSERT_EQ(service->Shown.size(), 1u);
    EXPECT_EQ(service->Shown[0].Text, QStringLiteral("Hello"));
    EXPECT_EQ(service->Shown[0].Buttons, TMsgButtons::OK);
    SetMessageService(nullptr);
}

TEST_F(ZvLEFuncsTest, WrappersForwardToTheirObjects)
{
    auto* text = Add<TZarvText>(QStringLiteral("Text1"));
    const uint32_t h = HandleOf(text);
    std::vector<uint32_t> args{h};
    for (uint32_t w : DoubleWords(1.25))
        args.push_back(w);
    Call("ZVCLASS", "TZARVCONTROL.SETLEFT", args);
    EXPECT_EQ(Call("ZVCLASS", "TZARVCONTROL.GETLEFT", {h}).Extended, 1.25L);

    // The bounds rectangle through four Doubles in the CPU's memory.
    double rect[4] = {0.5, 1.0, 2.5, 1.5};
    const uint32_t address = RCPUMemory().Map(reinterpret_cast<uint8_t*>(rect), sizeof rect, true);
    const uint32_t section = HandleOf(Add<TZarvSection>(QStringLiteral("Section1")));
    Call("ZVCLASS", "TZARVCONTROL.SETBOUNDSRECT", {section, address});
    EXPECT_EQ(Call("ZVCLASS", "TZARVCONTROL.GETWIDTH", {section}).Extended, 2.0L);
    std::fill(std::begin(rect), std::end(rect), 0.0);
    Call("ZVCLASS", "TZARVCONTROL.GETBOUNDSRECT", {section, address});
    EXPECT_EQ(std::vector<double>(std::begin(rect), std::end(rect)),
              (std::vector<double>{0.5, 1.0, 2.5, 1.5}));
    RCPUMemory().Unmap(address);

    // The canvas font: the getter and the text printed next.
    const uint32_t canvas = HandleOf(&Canvas);
    Call("ZVBASE", "TBASEREPORT.SETFONTNAME", {canvas, RCPUStrings().New(QStringLiteral("Courier New"))});
    const TRCPUNativeResult name = Call("ZVBASE", "TBASEREPORT.GETFONTNAME", {canvas});
    EXPECT_EQ(name.String, QStringLiteral("Courier New"));
    QString printedIn;
    Canvas.OnOutput = [&] { printedIn = Canvas.GetBaseFont()->Name; };
    std::vector<uint32_t> printXY{canvas};
    for (double v : {1.0, 2.0})
        for (uint32_t w : DoubleWords(v))
            printXY.push_back(w);
    printXY.push_back(RCPUStrings().New(QStringLiteral("Tessvar")));
    Call("ZVBASE", "TBASEREPORT.PRINTXY", printXY);
    EXPECT_EQ(printedIn, QStringLiteral("Courier New"));
    EXPECT_TRUE(Canvas.Calls.join(' ').contains(QStringLiteral("\"Tessvar\" 1")));

    // Page list: made with its first page; an unlisted page is the list's error.
    TZarvReport* report = Project.ActiveReport();
    const uint32_t r = HandleOf(report);
    ASSERT_EQ(report->PageList(), nullptr);
    Call("ZVPROJ", "TZARVREPORT.PAGELISTADD", {r, HandleOf(Page)});
    ASSERT_NE(report->PageList(), nullptr);
    EXPECT_EQ(report->PageList()->Count(), 1);
    TZarvPage* other = report->NewPage();
    EXPECT_EQ(Failure([&] {
                  Call("ZVPROJ", "TZARVREPORT.PAGELISTDELETE", {r, HandleOf(other)});
              }),
              QStringLiteral("List index out of bounds (-1)"));
    Call("ZVPROJ", "TZARVREPORT.PAGELISTDELETE", {r, HandleOf(Page)});
    EXPECT_EQ(report->PageList(), nullptr);

    // Parameters and the component search of the project manager.
    const uint32_t m = HandleOf(&Project);
    Call("ZVPROJ", "TZARVPROJECTMANAGER.SETPARAM",
         {m, RCPUStrings().New(QStringLiteral("Size")), RCPUStrings().New(QStringLiteral("M10"))});
    EXPECT_EQ(
        Call("ZVPROJ", "TZARVPROJECTMANAGER.GETPARAM", {m, RCPUStrings().New(QStringLiteral("Size"))}).String,
        QStringLiteral("M10"));
    EXPECT_EQ(Call("ZVPROJ", "TZARVPROJECTMANAGER.FINDZARVCOMPONENT",
                   {m, RCPUStrings().New(QStringLiteral("Text1")), HandleOf(Page)})
                  .Integer,
              int32_t(h));

    // A view without the field answers nil.
    TMemoryDataView* view =
        TMemoryDataView::Make(Project, QStringLiteral("View1"), QStringLiteral("N"), QStringLiteral("1"));
    EXPECT_NE(
        Call("ZVDATA", "TZARVBASEDATAVIEW.FIELDBYNAME", {HandleOf(view), RCPUStrings().New("N")}).Integer, 0);
    EXPECT_EQ(
        Call("ZVDATA", "TZARVBASEDATAVIEW.FIELDBYNAME", {HandleOf(view), RCPUStrings().New("Nope")}).Integer,
        0);
}

TEST_F(ZvLEFuncsTest, NilStaleAndForeignObjectsAreRefused)
{
    auto* text = Add<TZarvText>(QStringLiteral("Text1"));
    const uint32_t textHandle = HandleOf(text);
    auto* gone = Add<TZarvText>(QStringLiteral("Text2"));
    const uint32_t stale = HandleOf(gone);
    delete gone;
    EXPECT_EQ(Failure([&] { Call("ZVCLASS", "TZARVCONTROL.GETLEFT", {0}); }),
              QStringLiteral("TZARVCONTROL.GETLEFT: nil object, expected a TZarvControl"));
    EXPECT_EQ(Failure([&] { Call("ZVCLASS", "TZARVCONTROL.GETLEFT", {stale}); }),
              QStringLiteral("TZARVCONTROL.GETLEFT: object %1 no longer exists, expected a TZarvControl")
                  .arg(stale));
    // One wrapper of every module given an object of another class.
    const std::vector<std::pair<QString, QString>> samples = {{"ZVBASE", "TBASEREPORT.GETFONTNAME"},
                                                              {"ZVCLASS", "TZARVPAGE.GETBIN"},
                                                              {"ZVCSBARS", "TZARVBASEBARCODE.GETBARWIDTH"},
                                                              {"ZVCSDATA", "TZARVCALCTOTAL.GETCALCTYPE"},
                                                              {"ZVCSDRAW", "TZARVLINE.GETNESW"},
                                                              {"ZVCSRPT", "TZARVBAND.GETALLOWSPLIT"},
                                                              {"ZVCSSTD", "TZARVMEMO.GETTRUNCATE"},
                                                              {"ZVDATA", "TZARVDATAFIELD.ASSTRING"},
                                                              {"ZVPROJ", "TZARVREPORT.GETCOPIES"}};
    for (const auto& [module, name] : samples) {
        const QString message = Failure([&] { Call(module, name, {textHandle}); });
        EXPECT_TRUE(message.startsWith(name + QStringLiteral(": object %1 is not a ").arg(textHandle)))
            << message.toStdString();
        EXPECT_TRUE(Failure([&] { Call(module, name, {0}); }).contains(QStringLiteral("nil object")));
        EXPECT_TRUE(Failure([&] { Call(module, name, {stale}); }).contains(QStringLiteral("no longer exists")));
    }
    // A wrong-class object argument is refused too.
    auto* report = Project.ActiveReport();
    EXPECT_EQ(Failure([&] {
                  Call("ZVPROJ", "TZARVREPORT.SETFIRSTPAGE", {HandleOf(report), textHandle});
              }),
              QStringLiteral("TZARVREPORT.SETFIRSTPAGE: object %1 is not a TZarvPage").arg(textHandle));
    EXPECT_EQ(Failure([&] { Call("ZVCLASS", "TZARVCONTROL.SETLEFT", {textHandle}); }),
              QStringLiteral("TZARVCONTROL.SETLEFT: too few arguments"));
}

TEST_F(ZvLEFuncsTest, SettingWhatTheGetterAnsweredChangesNothing)
{
    // A fresh object of every wrapped class (a concrete one for the bases).
    auto mailMerge = std::make_unique<TZarvMailMergeItem>();
    auto auth = std::make_unique<TZarvDBAuth>();
    const std::map<QString, std::function<TObject*()>> fresh = {
        {"TBASEREPORT", [&] { return &Canvas; }},
        {"TZARVCOMPONENT", [&] { return Add<TZarvText>("C1"); }},
        {"TZARVCONTROL", [&] { return Add<TZarvSection>("C2"); }},
        {"TZARVPROJECTITEM", [&] { return Project.ActiveReport(); }},
        {"TZARVPAGE", [&] { return Page; }},
        {"TZARVBASEBARCODE", [&] { return Add<TZarvCode39BarCode>("B1"); }},
        {"TZARVCODE39BARCODE", [&] { return Add<TZarvCode39BarCode>("B2"); }},
        {"TZARVCODE128BARCODE", [&] { return Add<TZarvCode128BarCode>("B3"); }},
        {"TZARVDATATEXT", [&] { return Add<TZarvDataText>("D1"); }},
        {"TZARVDATAMEMO", [&] { return Add<TZarvDataMemo>("D2"); }},
        {"TZARVCALCTEXT", [&] { return Add<TZarvCalcText>("D3"); }},
        {"TZARVCALCVARIABLE", [&] { return Add<TZarvCalcTotal>("D4"); }},
        {"TZARVCALCOP", [&] { return Add<TZarvCalcOp>("D5"); }},
        {"TZARVCALCTOTAL", [&] { return Add<TZarvCalcTotal>("D6"); }},
        {"TZARVCALCCONTROLLER", [&] { return Add<TZarvCalcController>("D7"); }},
        {"TZARVDATAMIRRORSECTION", [&] { return Add<TZarvDataMirrorSection>("D8"); }},
        {"TZARVLINE", [&] { return Add<TZarvHLine>("L1"); }},
        {"TZARVSURFACE", [&] { return Add<TZarvEllipse>("S1"); }},
        {"TZARVRECTANGLE", [&] { return Add<TZarvRectangle>("S2"); }},
        {"TZARVREGION", [&] { return Add<TZarvRegion>("R1"); }},
        {"TZARVBAND", [&] { return Add<TZarvBand>("R2"); }},
        {"TZARVITERATEBAND", [&] { return Add<TZarvDataBand>("R3"); }},
        {"TZARVDATABAND", [&] { return Add<TZarvDataBand>("R4"); }},
        {"TZARVDATACYCLE", [&] { return Add<TZarvDataCycle>("R5"); }},
        {"TZARVFONTMASTER", [&] { return Add<TZarvFontMaster>("F1"); }},
        {"TZARVPAGENUMINIT", [&] { return Add<TZarvPageNumInit>("F2"); }},
        {"TZARVCUSTOMTEXT", [&] { return Add<TZarvText>("F3"); }},
        {"TZARVTEXT", [&] { return Add<TZarvText>("F4"); }},
        {"TZARVSECTION", [&] { return Add<TZarvSection>("F5"); }},
        {"TZARVBASEIMAGE", [&] { return Add<TZarvBitmap>("F6"); }},
        {"TZARVMAILMERGEITEM", [&] { return mailMerge.get(); }},
        {"TZARVMEMO", [&] { return Add<TZarvMemo>("F7"); }},
        {"TZARVDATAFIELD", [&] { return new TZarvStringField(&Project); }},
        {"TZARVFORMATTEDFIELD", [&] { return new TZarvIntegerField(&Project); }},
        {"TZARVBOOLEANFIELD", [&] { return new TZarvBooleanField(&Project); }},
        {"TZARVDATAVIEW", [&] { return new TZarvDataView(&Project); }},
        {"TZARVDBAUTH", [&] { return auth.get(); }},
        {"TZARVDATABASE", [&] { return new TZarvDatabase(&Project); }},
        {"TZARVDRIVERDATAVIEW", [&] { return new TZarvDriverDataView(&Project); }},
        {"TZARVSIMPLESECURITY", [&] { return new TZarvSimpleSecurity(&Project); }},
        {"TZARVLOOKUPSECURITY", [&] { return new TZarvLookupSecurity(&Project); }},
        {"TZARVREPORT", [&] { return Project.ActiveReport(); }},
        {"TZARVPROJECTMANAGER", [&] { return &Project; }},
    };
    // Setters that take more than the value or a record, and those the
    // canvas refuses while it runs.
    const std::set<QString> skipped = {"TBASEREPORT.COLUMNS",      "TBASEREPORT.COLUMNWIDTH",
                                       "TZARVCONTROL.BOUNDSRECT",  "TZARVPROJECTMANAGER.PARAM",
                                       "TBASEREPORT.PRINTERINDEX", "TBASEREPORT.OUTPUTNAME",
                                       "TBASEREPORT.COPIES"};
    // Properties that another setter changes by design: a line height makes
    // the method the user's, a centre centres the symbol, a page size makes
    // the paper custom.
    const std::set<QString> followers = {"TBASEREPORT.LINEHEIGHTMETHOD", "TZARVBASEBARCODE.BARCODEJUSTIFY",
                                         "TZARVPAGE.PAPERSIZE"};
    std::map<QString, std::vector<std::pair<QString, QString>>> pairs; // class -> (module, property)
    for (const TNativeFuncRow& row : NativeFuncTable()) {
        const QString cls = row.Name.section(QLatin1Char('.'), 0, 0);
        const QString member = row.Name.section(QLatin1Char('.'), 1);
        if (member.startsWith(QLatin1String("SET")) &&
            FindNativeFunc(cls + ".GET" + member.mid(3), row.Module) &&
            !skipped.count(cls + QLatin1Char('.') + member.mid(3)))
            pairs[cls].push_back({row.Module, member.mid(3)});
    }
    const auto text = [](const TRCPUNativeResult& r) {
        return QStringLiteral("%1:%2:%3:%4")
            .arg(int(r.Kind))
            .arg(r.Integer)
            .arg(double(r.Extended))
            .arg(r.String);
    };
    int checked = 0;
    for (const auto& [cls, properties] : pairs) {
        ASSERT_TRUE(fresh.count(cls)) << cls.toStdString();
        const uint32_t h = HandleOf(fresh.at(cls)());
        const auto snapshot = [&] {
            QStringList values;
            for (const auto& [module, property] : properties)
                if (!followers.count(cls + QLatin1Char('.') + property))
                    values << property + QLatin1Char('=') + text(Call(module, cls + ".GET" + property, {h}));
            return values;
        };
        const QStringList before = snapshot();
        for (const auto& [module, property] : properties) {
            const TRCPUNativeResult value = Call(module, cls + ".GET" + property, {h});
            std::vector<uint32_t> words{h};
            if (value.Kind == TRCPUNativeResult::TKind::Extended)
                for (uint32_t w : DoubleWords(double(value.Extended)))
                    words.push_back(w);
            else if (value.Kind == TRCPUNativeResult::TKind::String)
                words.push_back(RCPUStrings().New(value.String));
            else
                words.push_back(uint32_t(value.Integer));
            EXPECT_EQ(Failure([&] { Call(module, cls + ".SET" + property, words); }),
                      QStringLiteral("no error"))
                << (cls + "." + property).toStdString();
            ++checked;
        }
        const QStringList after = snapshot();
        for (int i = 0; i < before.size(); ++i)
            EXPECT_EQ(after[i], before[i]) << cls.toStdString();
    }
    EXPECT_GT(checked, 250);
}

TEST_F(ZvLEFuncsTest, ASectionScriptPrintsIntoThePdf)
{
    // The library module ZVBASE: stubs that hand their frame's arguments to
    // the natives (the caller pushes them in declaration order).
    TZvAssembler lib;
    lib.Label(QStringLiteral("SETFONTNAME")).Op(Zop::Enter).Index(0);
    lib.Op(Zop::Arg).Addr(A::Frame(16)).Op(Zop::Arg).Addr(A::Frame(12));
    lib.Op(Zop::NativeProc).Slot(QStringLiteral("TBASEREPORT.SETFONTNAME")).Op(Zop::Return).Index(8);
    lib.Label(QStringLiteral("PRINTXY")).Op(Zop::Enter).Index(0).Op(Zop::Arg).Addr(A::Frame(32));
    for (const int32_t at : {24, 16})
        lib.Op(Zop::PushAddr)
            .Addr(A::Frame(at))
            .Op(Zop::ArgBytes)
            .Addr(A::Stack(0))
            .Index(8)
            .Op(Zop::Drop)
            .Index(4);
    lib.Op(Zop::Arg).Addr(A::Frame(12)).Op(Zop::NativeProc).Slot(QStringLiteral("TBASEREPORT.PRINTXY"));
    lib.Op(Zop::Return).Index(24);
    // The module manager loads it from the module folder and binds it.
    TZvModuleBuilder library(QStringLiteral("ZVBASE"));
    library.Code(lib).DataSize(4);
    PlaceModule(library, QStringLiteral("ZVBASE"));

    // The report's module: Section1_OnPrint(Self, Report) sets the font and
    // prints "Tessvar" at (1, 2) inches.
    TZvAssembler code;
    code.Op(Zop::Enter).Index(0);
    code.Op(Zop::PushValue).Addr(A::Frame(12)).Op(Zop::PushValue).Addr(A::Data(0));
    code.Op(Zop::FarCall).Index(1).Index(uint32_t(lib.LabelOffset(QStringLiteral("SETFONTNAME"))));
    code.Op(Zop::PushValue).Addr(A::Frame(12));
    code.Op(Zop::PushBytes).Index(8).Addr(A::Data(8)).Op(Zop::PushBytes).Index(8).Addr(A::Data(16));
    code.Op(Zop::PushValue).Addr(A::Data(4));
    code.Op(Zop::FarCall).Index(1).Index(uint32_t(lib.LabelOffset(QStringLiteral("PRINTXY"))));
    code.Op(Zop::Return).Index(0);
    TZarvReport* report = Project.ActiveReport();
    TZvModuleBuilder caller(QStringLiteral("Report1"));
    caller.Code(code).DataSize(24);
    caller.Module().SetProjectBinding(&Project, report);
    ASSERT_NE(caller.Module().AddModule(QStringLiteral("ZVBASE")), nullptr);
    std::unique_ptr<TRCPUModule> module = caller.Load(&Project, report);
    const uint32_t words[2] = {RCPUStrings().New(QStringLiteral("Courier New")),
                               RCPUStrings().New(QStringLiteral("Tessvar"))};
    const double position[2] = {1.0, 2.0};
    std::memcpy(module->GetDataBuf().data(), words, 8);
    std::memcpy(module->GetDataBuf().data() + 8, position, 16);
    report->SetModule(std::move(module));

    auto* section = Add<TZarvSection>(QStringLiteral("Section1"));
    section->SetBoundsRect(TZarvRect{0, 0, 8, 10});
    TZarvPrintEvent onPrint;
    section->SetOnPrint(&onPrint);
    section->OnPrint()->SetModuleOwner(report);
    section->OnPrint()->SetPosition(0);

    RegisterProjectComponentClass();
    RegisterReportPrintClasses();
    const QString pdf = QDir(qEnvironmentVariable("TESSVAR_TEST_OUTPUT", FModules.path()))
                            .filePath(QStringLiteral("section-script.pdf"));
    TZvSystem system(nullptr);
    TSystemSetups setups = system.SystemSetups();
    setups.Exclude(TSystemSetup::ssAllowSetup);
    system.SetSystemSetups(setups);
    TSystemOptions options = system.SystemOptions();
    options.Exclude(TSystemOption::soShowStatus);
    system.SetSystemOptions(options);
    system.SetDefaultDest(TReportDest::rdPrinter);
    system.SetOutputFileName(pdf);
    system.OnPrint = [&](TObject*) { section->Print(system.BaseReport()); };
    system.Execute();

    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString boxes = QString::fromUtf8(text.readAllStandardOutput());
    const QRegularExpressionMatch word =
        QRegularExpression(
            QStringLiteral(
                "xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"[0-9.]+\" yMax=\"([0-9.]+)\">Tessvar<"))
            .match(boxes);
    ASSERT_TRUE(word.hasMatch()) << boxes.toStdString();
    // 1 inch from the left; the baseline 2 inches down lies inside the box.
    EXPECT_NEAR(word.captured(1).toDouble(), 72.0, 2.0);
    EXPECT_LT(word.captured(2).toDouble(), 144.0);
    EXPECT_GT(word.captured(3).toDouble(), 140.0);
    EXPECT_LT(word.captured(3).toDouble(), 150.0);
}

namespace {

// A view of one blob column; nullopt is a null value.
class TBlobView : public TZarvBaseDataView {
public:
    using TZarvBaseDataView::TZarvBaseDataView;
    std::vector<std::optional<QByteArray>> Values;

    void Open() override
    {
        TZarvBaseDataView::Open();
        SetDataOpened(true);
    }
    void FetchRow(int how) override
    {
        if (how == kFetchFirst)
            FPos = 0;
        else if (how == kFetchNext)
            ++FPos;
        const bool eof = FPos >= int(Values.size());
        if (eof)
            DataRow().Clear();
        else
            DataRow().Assign(RowBytes(Values[size_t(FPos)]));
        SetAtEOF(eof);
        SetEmpty(eof);
    }
    void CreateFields(std::vector<std::unique_ptr<TZarvDataFieldInfo>>&) override {}
    void SetFilter(TStringList&) override {}
    void SetRemoteSort(TStringList&) override {}

private:
    // The slot (native offset 8 or -1 for null, no text), then the length
    // and the bytes.
    static QByteArray RowBytes(const std::optional<QByteArray>& value)
    {
        const auto le = [](int32_t word) { return QByteArray(reinterpret_cast<const char*>(&word), 4); };
        if (!value)
            return le(-1) + le(0);
        return le(8) + le(0) + le(int32_t(value->size())) + *value;
    }
    int FPos = 0;
};

} // namespace

TEST_F(ZvLEFuncsTest, AScriptReadsABlobFieldThroughASBLOB)
{
    auto* view = new TBlobView(&Project);
    view->SetName(QStringLiteral("Blobs"));
    view->Values = {QByteArray("\x10\x11\x12\x13\x14\x15", 6), std::nullopt};
    auto* field = new TZarvBlobField(view);
    field->SetParent(view);
    field->SetDataIndex(0);
    view->Open();
    view->First();

    // Data: the field at 0, the view at 4, the blob's address at 8, the
    // offset to read at 12, address + offset at 16, the byte read at 20.
    // nextFirst: the script moves the view on after taking the address;
    // read: it reads the byte.
    const auto run = [&](int32_t offset, bool nextFirst, bool read = true) {
        TZvAssembler code;
        code.Op(Zop::PushAddr).Addr(A::Data(8)).Op(Zop::Arg).Addr(A::Data(0));
        code.Op(Zop::NativeCall).Byte(uint8_t(K::tkPointer)).Addr(A::Stack(0));
        code.Slot(QStringLiteral("TZARVDATAFIELD.ASBLOB")).Op(Zop::Drop).Index(4);
        if (nextFirst)
            code.Op(Zop::Arg)
                .Addr(A::Data(4))
                .Op(Zop::NativeProc)
                .Slot(QStringLiteral("TZARVBASEDATAVIEW.NEXT"));
        if (read) {
            code.Op(Zop::PushAddr).Addr(A::Data(8)).Op(Zop::PushAddr).Addr(A::Data(12));
            code.Op(Zop::IntAdd).Addr(A::Data(16)).Op(Zop::Drop).Index(4);
            code.Op(Zop::CopyFrom).Index(1).Addr(A::Data(16)).Addr(A::Data(20));
        }
        code.Op(Zop::Halt);
        TZvModuleBuilder builder(QStringLiteral("ZVDATA"));
        builder.Code(code).DataSize(24);
        std::unique_ptr<TRCPUModule> module = builder.Load();
        BindModuleExternals(module.get());
        std::vector<uint8_t>& data = module->GetDataBuf();
        const uint32_t words[] = {HandleOf(field), HandleOf(view), 0, uint32_t(offset)};
        std::memcpy(data.data(), words, sizeof words);
        TRCPURunner runner;
        std::unique_ptr<TObject> state;
        runner.Execute(module.get(), nullptr, state);
        uint32_t address = 0;
        std::memcpy(&address, data.data() + 8, 4);
        return std::pair<uint32_t, int>(address, data[20]);
    };
    const int regions = RCPUMemory().RegionCount();
    const auto [address, fifth] = run(4, false);
    EXPECT_NE(address, 0u);
    EXPECT_EQ(fifth, 0x14);
    EXPECT_EQ(RCPUMemory().RegionCount(), regions); // the segment ended with the run
    EXPECT_THROW(RCPUMemory().Read(address, 1), ESheetcaster);

    // One past the end, and a read after the view moved on, end the run.
    for (const auto& [offset, nextFirst] : {std::pair(6, false), std::pair(0, true)}) {
        view->First();
        const QString message =
            Failure([&, offset = offset, nextFirst = nextFirst] { run(offset, nextFirst); });
        EXPECT_TRUE(message.startsWith(QStringLiteral("Invalid read of 1 bytes at address")) &&
                    message.contains(QStringLiteral("(command 0B at code offset")))
            << message.toStdString();
    }

    // A null blob answers nil.
    view->First();
    view->Next();
    ASSERT_TRUE(field->IsNull());
    EXPECT_EQ(run(0, false, false).first, 0u);
}
