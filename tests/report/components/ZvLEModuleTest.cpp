// Compiled modules: the module file, imports, variables, symbols, binding of
// native slots and of the project, and compiling through a registered
// compiler.
#include "report/components/ZvLEModule.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/Streams.h"
#include "report/components/ZvLERun.h"
#include "report/components/ZvLEUtil.h"
#include "report/model/ZvItem.h"
#include "report/model/ZvProj.h"
#include "report/model/ZvUtil.h"
#include "tests/support/FuzzLoop.h"
#include "tests/support/ZvAssembler.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

using K = ZvLE::TTypeKind;

namespace {

const TRCPUNative kIntToStr{[](TRCPURunner&, std::span<const uint32_t>) { return TRCPUNativeResult{}; }};
const TRCPUNative kOther{[](TRCPURunner&, std::span<const uint32_t>) { return TRCPUNativeResult{}; }};

uint32_t SlotAt(TRCPUModule& module, int offset)
{
    uint32_t value = 0;
    std::memcpy(&value, module.Code().data() + offset, 4);
    return value;
}

// A module file written field by field, for the loader's refusals.
struct TRawModule {
    QByteArray Used; // after the count
    int UsedCount = 0;
    QByteArray Types = QByteArray(1, 0);
    QByteArray IDs = QByteArray(1, 0);
    int DataSize = 0;
    int CodeSize = 4;
    int StackSize = 64;
    int Start = 0;
    int ExternalOffset = -1;

    QByteArray Bytes() const
    {
        TMemoryStream stream;
        TStreamHelper helper(stream);
        helper.WriteString(QStringLiteral("RAW"));
        helper.WriteByte(26);
        helper.WriteWord(770);
        helper.WriteWord(2);
        helper.WriteDouble(0);
        helper.WriteIndex(UsedCount);
        helper.Write(Used.constData(), Used.size());
        helper.Write(Types.constData(), Types.size());
        helper.Write(IDs.constData(), IDs.size());
        helper.WriteIndex(DataSize);
        helper.WriteIndex(CodeSize);
        helper.Write(QByteArray(CodeSize, char(Zop::Halt)).constData(), CodeSize);
        helper.WriteIndex(StackSize);
        helper.WriteIndex(Start);
        helper.WriteIndex(0);
        helper.WriteIndex(0);
        helper.WriteIndex(ExternalOffset >= 0 ? 1 : 0);
        if (ExternalOffset >= 0) {
            helper.WriteString(QStringLiteral("F"));
            helper.WriteIndex(ExternalOffset);
        }
        return stream.Bytes();
    }
};

std::unique_ptr<TRCPUModule> Read(const QByteArray& bytes)
{
    TMemoryStream stream(bytes);
    return TRCPUModule::CreateFromStream(stream, nullptr, nullptr);
}

class TStandInCompiler : public TZarvCompiler {
public:
    QString SyntaxName() const override { return QStringLiteral("Delphi"); }
    void CompileStream(const QString& source, const QString&, TRCPUModule*, bool definition) override
    {
        Sources << source;
        if (!definition && FailAtLine > 0) {
            ErrorLine = FailAtLine;
            ErrorCol = 7;
            RaiseCompilerError(22, QStringLiteral("Foo"));
        }
    }
    static inline QStringList Sources;
    static inline int FailAtLine = 0;
};

} // namespace

TEST(ZvLEModuleTest, ANewModuleAndItsFile)
{
    TRCPUModule module;
    TMemoryStream stream;
    module.SaveToStream(stream);
    const QByteArray bytes = stream.Bytes();
    // "Module1" in its code-page form, the marker, versions 770 and 2.
    const QByteArray head = QByteArray::fromHex("bfed84b00e") + QByteArray("M\0o\0d\0u\0l\0e\0001\0", 14) +
                            QByteArray::fromHex("07") + "Module1" + QByteArray::fromHex("1a02030200");
    ASSERT_TRUE(bytes.startsWith(head));
    // The date, then no modules, types, identifiers, data or code, a stack
    // of 16384 (C0 40 00), offsets 0 and no externals.
    EXPECT_EQ(bytes.mid(head.size() + 8), QByteArray::fromHex("0000000000c0400000000000"));
    EXPECT_EQ(module.MajorVersion(), 770);
    EXPECT_EQ(bytes.size(), head.size() + 8 + 12);

    auto read = Read(bytes);
    EXPECT_EQ(read->ModuleName(), QStringLiteral("Module1"));
    EXPECT_EQ(read->StackSize(), 16384);
    EXPECT_DOUBLE_EQ(read->CompileDate(), module.CompileDate());
}

// A module file is the name given plus ".zvc"; a name with no file part
// would be the hidden ".zvc" of a folder and is refused, nothing written.
TEST(ZvLEModuleTest, AModuleFileNeedsABaseName)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TRCPUModule module;
    const QString kept = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    const auto back = qScopeGuard([&] { QDir::setCurrent(kept); });
    for (const QString& name : {QString(), folder.path() + "/", QStringLiteral("sub/")}) {
        try {
            module.SaveToFile(name);
            ADD_FAILURE() << "saved as " << name.toStdString();
        } catch (const EFileSaveError& error) {
            EXPECT_EQ(error.Message(), "Cannot create file \"" + name + "\". The file name is empty.");
        }
    }
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("sub")));
    EXPECT_THROW(module.SaveToFile(QStringLiteral("sub/")), EFileSaveError);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList({"sub"}));
    EXPECT_TRUE(QDir(folder.filePath(QStringLiteral("sub")))
                    .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));

    module.SaveToFile(folder.filePath(QStringLiteral("sub/m")));
    TMemoryStream stream;
    module.SaveToStream(stream);
    QFile file(folder.filePath(QStringLiteral("sub/m.zvc")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), stream.Bytes());
}

TEST(ZvLEModuleTest, NativeSlotsAreSavedEmptyAndBoundAgain)
{
    RegisterNativeFunc(NativeFunc(kIntToStr), QStringLiteral("IntToStr"), QStringLiteral("sysfunc"));
    RegisterNativeFunc(NativeFunc(kOther), QStringLiteral("INTTOSTR"),
                       QStringLiteral("SYSFUNC")); // the first stays
    EXPECT_EQ(FindNativeFunc(QStringLiteral("inttostr"), QStringLiteral("SysFunc")), &kIntToStr);

    TZvAssembler code;
    code.Raw(QByteArray(10, char(Zop::Nop))).Slot(QStringLiteral("IntToStr")).Op(Zop::Halt);
    TZvModuleBuilder builder(QStringLiteral("SysFunc"));
    builder.Code(code);
    BindModuleExternals(&builder.Module());
    EXPECT_EQ(SlotAt(builder.Module(), 10), NativeFuncID(&kIntToStr));
    EXPECT_NE(NativeFuncID(&kIntToStr), 0u);
    const QByteArray bytes = builder.Bytes();
    EXPECT_TRUE(bytes.contains(QByteArray(10, char(Zop::Nop)) + QByteArray(4, 0) + char(Zop::Halt)));
    auto read = Read(bytes);
    ASSERT_NE(read->FindExternal(QStringLiteral("inttostr")), nullptr);
    EXPECT_EQ(SlotAt(*read, 10), 0u);
    BindModuleExternals(read.get());
    EXPECT_EQ(SlotAt(*read, 10), NativeFuncID(&kIntToStr));

    // Unregistering the last name drops the module; a module of another name
    // stays unbound.
    UnregisterNativeFunc(QStringLiteral("IntToStr"), QStringLiteral("SYSFUNC"));
    EXPECT_FALSE(NativeModuleRegistered(QStringLiteral("SysFunc")));
    auto again = Read(bytes);
    BindModuleExternals(again.get());
    EXPECT_EQ(SlotAt(*again, 10), 0u);
}

TEST(ZvLEModuleTest, VariablesAndSymbols)
{
    TZvModuleBuilder builder(QStringLiteral("Vars"));
    builder.Var(QStringLiteral("Count"), K::tkInteger)
        .Var(QStringLiteral("Title"), K::tkString)
        .Var(QStringLiteral("Ratio"), K::tkExtended)
        .Func(QStringLiteral("Apply"), 0);
    auto module = builder.Load();
    EXPECT_EQ(module->DataSize(), 4 + 8 + 10);
    module->SetIntVar(QStringLiteral("count"), 42);
    module->SetStringVar(QStringLiteral("Title"), QStringLiteral("Gauge"));
    module->SetFloatVar(QStringLiteral("Ratio"), 2.5);
    module->SetIntVar(QStringLiteral("Nothing"), 1); // ignored
    EXPECT_EQ(module->GetIntVar(QStringLiteral("COUNT")), 42);
    EXPECT_EQ(module->GetStringVar(QStringLiteral("Title")), QStringLiteral("Gauge"));
    EXPECT_EQ(module->GetFloatVar(QStringLiteral("Ratio")), 2.5);
    EXPECT_EQ(module->GetIntVar(QStringLiteral("Nothing")), 0);
    EXPECT_THROW(module->GetIntVar(QStringLiteral("Apply")), EInvalidCast);

    module->AddType(QStringLiteral("TCount"), module->IndexToType(1));
    EXPECT_EQ(module->FindType(QStringLiteral("tcount")), module->IndexToType(1));
    try {
        module->FindType(QStringLiteral("Foo"));
        ADD_FAILURE() << "no exception";
    } catch (const EZarvCompiler& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Error #22 - Unknown identifier [Foo]."));
    }
    EXPECT_THROW(module->FindType(QStringLiteral("Count")), EZarvCompiler);

    // A nested scope cannot be saved; closing it twice keeps the module level.
    module->CreateScopeLevel();
    TMemoryStream stream;
    EXPECT_THROW(module->SaveToStream(stream), EZarvCompiler);
    module->FreeScopeLevel();
    module->FreeScopeLevel();
    EXPECT_NE(module->FindInternalID(QStringLiteral("Count")), nullptr);
    EXPECT_NO_THROW(module->SaveToStream(stream));
}

TEST(ZvLEModuleTest, ImportsOfTheProjectAndPlaceholders)
{
    RecordProjectProcs();
    RunZarvProcs(QStringLiteral("ZVCL"));
    TZarvProjectManager project(nullptr);
    project.SetName(QStringLiteral("Project"));
    project.New();
    TZarvReport* report = project.ActiveReport();
    ASSERT_NE(report, nullptr);
    TZvModuleBuilder library(QStringLiteral("Lib"));
    library.Var(QStringLiteral("Shared"), K::tkInteger);
    std::unique_ptr<TRCPUModule> libraryModule = library.Load(&project, report);
    TRCPUModule* lib = libraryModule.get();
    report->SetModule(std::move(libraryModule));
    lib->SetIntVar(QStringLiteral("Shared"), 7);

    // Module numbers: 1 "+Lib" (resolved later), 2 a module nobody knows, 3
    // the library again by plain name.
    TRawModule raw;
    raw.UsedCount = 3;
    TMemoryStream used;
    TStreamHelper helper(used);
    helper.WriteString(QStringLiteral("+Lib"));
    helper.WriteString(QStringLiteral("Nope"));
    helper.WriteString(QStringLiteral("Lib"));
    raw.Used = used.Bytes();
    TMemoryStream stream(raw.Bytes());
    std::unique_ptr<TRCPUModule> module = TRCPUModule::CreateFromStream(stream, &project, report);
    ASSERT_EQ(module->UsedModuleCount(), 3);
    EXPECT_EQ(module->IndexToModule(1), nullptr);
    EXPECT_EQ(module->IndexToModule(2), nullptr);
    EXPECT_EQ(module->IndexToModule(3), lib);
    module->ResolveImports();
    EXPECT_EQ(module->IndexToModule(1), lib);
    EXPECT_EQ(module->GetIntVar(QStringLiteral("Shared")), 7); // found in a used module

    // Reaching the missing module raises; the saved file keeps all three.
    TZvAssembler code;
    code.Op(Zop::FarJump).Index(2).Index(0);
    module->SetCode(code.Code());
    std::unique_ptr<TObject> state;
    try {
        module->Execute(0, state);
        ADD_FAILURE() << "no exception";
    } catch (const ESheetcaster& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Could not load module [Nope]"));
    }
    TMemoryStream saved;
    module->SaveToStream(saved);
    EXPECT_TRUE(saved.Bytes().contains(QByteArray("+Lib")));
    EXPECT_TRUE(saved.Bytes().contains(QByteArray("Nope")));

    module->Changing(nullptr, nullptr);
    EXPECT_EQ(module->UsedModuleCount(), 3);
    module->Changing(lib, nullptr);
    EXPECT_EQ(module->UsedModuleCount(), 2);

    // The component binding gives the report's components their handles.
    BindModuleComponents(report);
    EXPECT_EQ(lib->GetIntVar(QStringLiteral("Shared")), 0);
}

TEST(ZvLEModuleTest, DamagedFilesAreRefused)
{
    // A simple Integer type (structure 0, size 0, kind 5, low, high).
    const QByteArray integerType = QByteArray::fromHex("000000000005") + QByteArray(8, 0);
    struct Row {
        const char* what;
        std::function<void(TRawModule&)> damage;
    };
    const std::vector<Row> rows = {
        {"unknown structure", [](TRawModule& m) { m.Types = QByteArray::fromHex("01060000000005"); }},
        {"unknown type kind",
         [](TRawModule& m) { m.Types = QByteArray::fromHex("0100000000000e") + QByteArray(8, 0); }},
        {"type not read yet", // an array whose index type is itself
         [](TRawModule& m) {
             m.Types = QByteArray::fromHex("0102000000000d0100000001"
                                           "0001");
         }},
        {"size beyond 32 bits", // an array [0..0x1FFFFFFF] of Integer
         [&](TRawModule& m) {
             m.Types = QByteArray::fromHex("02") + integerType +
                       QByteArray::fromHex("02000000000d"
                                           "0100ffffffff0001"
                                           "0001");
         }},
        {"unknown identifier kind", [](TRawModule& m) { m.IDs = QByteArray::fromHex("0106"); }},
        {"data above the limit", [](TRawModule& m) { m.DataSize = kMaxModuleDataSize + 1; }},
        {"stack above the limit", [](TRawModule& m) { m.StackSize = kMaxModuleStackSize + 1; }},
        {"start outside the code", [](TRawModule& m) { m.Start = 4; }},
        {"slot outside the code", [](TRawModule& m) { m.ExternalOffset = 1; }},
    };
    ASSERT_NO_THROW(Read(TRawModule().Bytes()));
    for (const Row& row : rows) {
        TRawModule module;
        row.damage(module);
        EXPECT_THROW(Read(module.Bytes()), Exception) << row.what;
    }
    const QByteArray good = TRawModule().Bytes();
    for (int size = 0; size < good.size(); ++size)
        EXPECT_THROW(Read(good.left(size)), Exception) << size;
}

TEST(ZvLEModuleTest, FuzzTheModuleReader)
{
    std::vector<QByteArray> seeds;
    TZvModuleBuilder builder(QStringLiteral("Seed"));
    builder.Var(QStringLiteral("Count"), K::tkInteger).Var(QStringLiteral("Title"), K::tkString);
    TRCPUModule& module = builder.Module();
    TBaseType* integer = module.IndexToType(1);
    auto array = std::make_unique<TArrayType>(integer);
    array->AddDim(1, 3, integer);
    TBaseType* arrayType = module.CreateType(std::move(array));
    auto record = std::make_unique<TClassType>(nullptr, QStringLiteral("TThing"));
    record->AddField(QStringLiteral("Items"), arrayType, TScope::scPublic);
    record->AddProperty(QStringLiteral("Size"), integer, TScope::scPublic, 1, 2);
    module.CreateType(std::move(record));
    auto function = std::make_unique<TFuncType>(integer);
    function->AddParam(QStringLiteral("A"), TParamType::ptVar).BaseType = arrayType;
    module.AddFunc(QStringLiteral("Apply"), module.CreateType(std::move(function)));
    const QString text = QStringLiteral("abc");
    module.AddConst(QStringLiteral("Name"), module.IndexToType(2), &text);
    TZvAssembler code;
    code.Op(Zop::Nop).Slot(QStringLiteral("Ext")).Op(Zop::Halt);
    builder.Code(code);
    seeds.push_back(builder.Bytes());
    seeds.push_back(TRawModule().Bytes());
    const FuzzStats stats = RunFuzzLoop([](const QByteArray& input) { Read(input); }, seeds, 3.0);
    EXPECT_GT(stats.rejected, 0);
}

TEST(ZvLEModuleTest, SourceAndCompilingGoThroughARegisteredCompiler)
{
    RecordProjectProcs();
    RunZarvProcs(QStringLiteral("ZVCL"));
    TZarvProjectManager project(nullptr);
    project.SetName(QStringLiteral("Project"));
    project.New();
    TRCPUModule module;
    module.SetProjectBinding(&project, project.ActiveReport());
    try {
        module.BuildSource();
        ADD_FAILURE() << "no exception";
    } catch (const EZarvException& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Compiler not found.  Include ZvLDCompiler in the uses."));
    }

    RegisterCompilerClass(QStringLiteral("Delphi"), [] { return std::make_unique<TStandInCompiler>(); });
    QStringList names;
    GetCompilerSyntaxNames(names);
    EXPECT_EQ(names, QStringList{QStringLiteral("Delphi")});
    project.ActiveReport()->SetFullName(QStringLiteral("Report1"));
    module.BuildSource();
    EXPECT_TRUE(
        module.Source().startsWith(QStringLiteral("module Report1;\r\n\r\ndefinition\r\n\r\nimport\r\n")))
        << module.Source().toStdString();
    EXPECT_TRUE(module.Source().contains(QStringLiteral("  SYSFUNC,\r\n")));
    EXPECT_TRUE(module.Source().endsWith(QStringLiteral("end Report1;\r\n")));

    // A compiler error reaches the project's status as it is.
    TStandInCompiler::FailAtLine = 12;
    project.SetCompileNeeded(true);
    try {
        project.Compile();
        ADD_FAILURE() << "no exception";
    } catch (const EZarvException& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Error #22 - Unknown identifier [Foo]."));
    }
    TStandInCompiler::FailAtLine = 0;
    EXPECT_TRUE(project.Compile());
    UnregisterCompilerClasses();
    ErrorLine = 0;
    ErrorCol = 0;
}
