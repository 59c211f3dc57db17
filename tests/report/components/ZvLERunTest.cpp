// The virtual CPU: operand decoding, the opcode families, native calls,
// returns and suspension, and the refusal of malformed byte code.
#include "report/components/ZvLERun.h"
#include "platform/rtl/Extended80.h"
#include "report/components/ZvLEModule.h"
#include "report/model/ZvProj.h"
#include "tests/support/FuzzLoop.h"
#include "tests/support/ZvAssembler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

using A = TZvAddr;

namespace {

std::vector<std::vector<uint32_t>> gCalls; // argument words of each call of Record
QString gDestinationSeen;                  // what Text found in its destination

const TRCPUNative kRecord{[](TRCPURunner&, std::span<const uint32_t> args) {
    gCalls.emplace_back(args.begin(), args.end());
    return TRCPUNativeResult{};
}};
const TRCPUNative kText{[](TRCPURunner& cpu, std::span<const uint32_t> args) {
    gDestinationSeen = cpu.ReadString(args.back());
    return TRCPUNativeResult::OfString(QStringLiteral("new"));
}};

class ZvLERunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gCalls.clear();
        RegisterNativeFunc(NativeFunc(kRecord), QStringLiteral("Record"), QStringLiteral("Probe"));
        RegisterNativeFunc(NativeFunc(kText), QStringLiteral("Text"), QStringLiteral("Probe"));
        RCPUStepLimit = 100000;
    }
    void TearDown() override { RCPUStepLimit = 0; }

    // The code as module "PROBE", through its file, with its slots bound.
    static std::unique_ptr<TRCPUModule> Build(const TZvAssembler& code, int32_t dataSize = 64,
                                              int32_t stackSize = 256)
    {
        TZvModuleBuilder builder(QStringLiteral("PROBE"));
        builder.Code(code).DataSize(dataSize).StackSize(stackSize);
        std::unique_ptr<TRCPUModule> module = builder.Load();
        BindModuleExternals(module.get());
        return module;
    }
    static void Run(TRCPUModule& module, std::unique_ptr<TObject>& state)
    {
        TRCPURunner runner;
        runner.Execute(&module, nullptr, state);
    }
    static void Run(TRCPUModule& module)
    {
        std::unique_ptr<TObject> state;
        Run(module, state);
        EXPECT_EQ(state, nullptr);
    }
    // The message of the ESheetcaster a run ends with.
    static QString Failure(TRCPUModule& module)
    {
        try {
            Run(module);
        } catch (const ESheetcaster& error) {
            return error.Message();
        }
        return QStringLiteral("no error");
    }
    template <class T> static void Put(TRCPUModule& module, int offset, T value)
    {
        std::memcpy(module.GetDataBuf().data() + offset, &value, sizeof(T));
    }
    template <class T> static T Get(TRCPUModule& module, int offset)
    {
        T value{};
        std::memcpy(&value, module.GetDataBuf().data() + offset, sizeof(T));
        return value;
    }
};

} // namespace

TEST_F(ZvLERunTest, OperandsDecodeInTheirEncodings)
{
    // Data addresses with an escaped index: 7F is one byte, 80 80 is 128,
    // C0 40 00 is 16384 and E0 20 00 00 is 2097152.
    TZvAssembler code;
    for (const char* hex : {"7f", "8080", "c04000", "e0200000"})
        code.Op(Zop::Arg).Byte(0xBF).Raw(QByteArray::fromHex(hex));
    code.Op(Zop::NativeProc).Slot(QStringLiteral("RECORD")).Op(Zop::Halt);
    auto module = Build(code, 2097152 + 4);
    Put<int32_t>(*module, 127, 1);
    Put<int32_t>(*module, 128, 2);
    Put<int32_t>(*module, 16384, 3);
    Put<int32_t>(*module, 2097152, 4);
    Run(*module);
    ASSERT_EQ(gCalls.size(), 1u);
    // The word at 127 also holds the byte at 128.
    EXPECT_EQ(gCalls[0], (std::vector<uint32_t>{0x0201, 2, 3, 4}));
}

TEST_F(ZvLERunTest, SignedOffsetsAndAddressModes)
{
    // The stack holds 01 02 ... 08 from SP up, zeros below it. Stack-relative
    // k = 0, 1, 2, 3 are offsets 0, -1, 1, -2; mode byte 0x41 is SP - 1; mode
    // 0x3F takes k from an index (8: BP + 4, past the saved BP).
    TZvAssembler code;
    code.Op(Zop::PushValue).Addr(A::Data(4)).Op(Zop::PushValue).Addr(A::Data(0));
    for (uint8_t mode : {0x40, 0x41, 0x42, 0x43})
        code.Op(Zop::Arg).Byte(mode);
    code.Op(Zop::Enter).Index(0).Op(Zop::Arg).Byte(0x3F).Index(8);
    code.Op(Zop::NativeProc).Slot(QStringLiteral("RECORD")).Op(Zop::Halt);
    auto module = Build(code);
    Put<uint32_t>(*module, 0, 0x04030201);
    Put<uint32_t>(*module, 4, 0x08070605);
    Run(*module);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0], (std::vector<uint32_t>{0x04030201, 0x03020100, 0x05040302, 0x02010000, 0x04030201}));

    // Module-relative addresses: module 1, the library the probe uses, at
    // its variable Shared (offset 4, after First); module 0, the probe's
    // own data.
    RecordProjectProcs();
    RunZarvProcs(QStringLiteral("ZVCL"));
    TZarvProjectManager project(nullptr);
    project.New();
    TZarvReport* report = project.ActiveReport();
    ASSERT_NE(report, nullptr);
    TZvModuleBuilder library(QStringLiteral("Lib"));
    library.Var(QStringLiteral("First"), ZvLE::TTypeKind::tkInteger);
    library.Var(QStringLiteral("Shared"), ZvLE::TTypeKind::tkInteger);
    std::unique_ptr<TRCPUModule> libraryModule = library.Load(&project, report);
    TRCPUModule* lib = libraryModule.get();
    report->SetModule(std::move(libraryModule));
    lib->SetIntVar(QStringLiteral("First"), 11);
    lib->SetIntVar(QStringLiteral("Shared"), 0x01234567);
    TZvAssembler reading;
    reading.Op(Zop::Arg).Addr(A::Module(1, 4)).Op(Zop::Arg).Addr(A::Module(0, 4));
    reading.Op(Zop::NativeProc).Slot(QStringLiteral("RECORD")).Op(Zop::Halt);
    TZvModuleBuilder probe(QStringLiteral("PROBE"));
    probe.Code(reading).DataSize(8).StackSize(256);
    probe.Module().SetProjectBinding(&project, report);
    ASSERT_NE(probe.Module().AddModule(QStringLiteral("Lib")), nullptr);
    std::unique_ptr<TRCPUModule> user = probe.Load(&project, report);
    user->ResolveImports(); // a module of the project is named in the file as one still to find
    BindModuleExternals(user.get());
    ASSERT_EQ(user->IndexToModule(1), lib);
    Put<int32_t>(*user, 4, 22);
    gCalls.clear();
    Run(*user);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0], (std::vector<uint32_t>{0x01234567, 22}));

    // A jump with offset 0 lands on its own operand (here the byte 00).
    TZvAssembler self;
    self.Op(Zop::Jump).Index(0);
    auto jumping = Build(self);
    EXPECT_EQ(Failure(*jumping), QStringLiteral("Cannot execute command (00)"));
}

TEST_F(ZvLERunTest, TestsAndConditionalJumps)
{
    // 139 on a true Boolean: 25 jumps, 26 falls through.
    for (const uint8_t jump : {Zop::JumpTrue, Zop::JumpFalse}) {
        gCalls.clear();
        TZvAssembler code;
        code.Op(Zop::PushAddr).Addr(A::Data(0)).Op(Zop::Test).JumpTo(jump, QStringLiteral("taken"));
        code.Op(Zop::Arg).Addr(A::Data(12)).Op(Zop::NativeProc).Slot(QStringLiteral("RECORD")).Op(Zop::Halt);
        code.Label(QStringLiteral("taken")).Op(Zop::Arg).Addr(A::Data(8)).Op(Zop::Halt);
        auto module = Build(code);
        Put<uint8_t>(*module, 0, 1);
        Put<int32_t>(*module, 12, 222);
        Run(*module);
        EXPECT_EQ(gCalls.size(), jump == Zop::JumpTrue ? 0u : 1u);
    }
}

TEST_F(ZvLERunTest, ComparisonsArithmeticAndConversions)
{
    // Each row: push L, push R, opcode into dest; dest stays on the stack and
    // is dropped.
    TZvAssembler code;
    const auto binary = [&code](uint8_t op, uint32_t left, uint32_t right, uint32_t dest) {
        code.Op(Zop::PushAddr).Addr(A::Data(left)).Op(Zop::PushAddr).Addr(A::Data(right));
        code.Op(op).Addr(A::Data(dest)).Op(Zop::Drop).Index(4);
    };
    binary(Zop::ByteGt, 0, 1, 100);  // 200 > 100 unsigned
    binary(Zop::IntLt, 4, 8, 101);   // -1 < 1 signed
    binary(Zop::CurMul, 16, 24, 32); // 1.5 * 2
    binary(Zop::CurDiv, 40, 24, 48); // 3 / 2
    // 118: Byte to Integer, then to Extended (not a "to" code: dest stays),
    // or to Single.
    code.Op(Zop::PushAddr)
        .Addr(A::Data(0))
        .Op(Zop::Convert2)
        .Byte(96)
        .Byte(105)
        .Addr(A::Data(56))
        .Op(Zop::Drop)
        .Index(4);
    code.Op(Zop::PushAddr)
        .Addr(A::Data(1))
        .Op(Zop::Convert2)
        .Byte(96)
        .Byte(103)
        .Addr(A::Data(72))
        .Op(Zop::Drop)
        .Index(4);
    code.Op(Zop::Halt);
    auto module = Build(code, 128);
    Put<uint8_t>(*module, 0, 200);
    Put<uint8_t>(*module, 1, 100);
    Put<int32_t>(*module, 4, -1);
    Put<int32_t>(*module, 8, 1);
    Put<int64_t>(*module, 16, 15000);
    Put<int64_t>(*module, 24, 20000);
    Put<int64_t>(*module, 40, 30000);
    Put<uint64_t>(*module, 56, 0xAAAAAAAAAAAAAAAA);
    Run(*module);
    EXPECT_EQ(Get<uint8_t>(*module, 100), 1);
    EXPECT_EQ(Get<uint8_t>(*module, 101), 1);
    EXPECT_EQ(Get<int64_t>(*module, 32), 30000);
    EXPECT_EQ(Get<int64_t>(*module, 48), 15000);
    EXPECT_EQ(Get<uint64_t>(*module, 56), 0xAAAAAAAAAAAAAAAAu);
    EXPECT_EQ(Get<float>(*module, 72), 100.0f);
}

TEST_F(ZvLERunTest, ArithmeticFaultsRaiseTheRuntimeErrors)
{
    const auto run = [this](uint8_t op, auto left, auto right) {
        TZvAssembler code;
        code.Op(Zop::PushAddr).Addr(A::Data(0)).Op(Zop::PushAddr).Addr(A::Data(16)).Op(op).Addr(A::Data(32));
        code.Op(Zop::Halt);
        auto module = Build(code);
        Put(*module, 0, left);
        Put(*module, 16, right);
        Run(*module);
    };
    EXPECT_THROW(run(Zop::IntDiv, int32_t(7), int32_t(0)), EDivByZero);
    EXPECT_THROW(run(Zop::IntMod, std::numeric_limits<int32_t>::min(), int32_t(-1)), EIntOverflow);
    EXPECT_THROW(run(Zop::CurDiv, int64_t(10000), int64_t(0)), EZeroDivide);
    EXPECT_THROW(run(Zop::CurMul, std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max()),
                 EInvalidOp);
    const auto extended = [](long double value) { return LongDoubleToExtended(value); };
    EXPECT_THROW(run(Zop::ExtDiv, extended(1), extended(0)), EZeroDivide);
    EXPECT_THROW(run(Zop::ExtDiv, extended(0), extended(0)), EInvalidOp);
    EXPECT_THROW(run(Zop::ExtMul, extended(1e4000L), extended(1e4000L)), EOverflow);
}

TEST_F(ZvLERunTest, ExtendedArithmeticInBothForms)
{
    // 82-85 write 6 op 1.5 into a third place; 128-131 into the left one.
    const long double expected[4] = {7.5L, 4.5L, 9.0L, 4.0L};
    for (int i = 0; i < 4; ++i) {
        for (const bool assign : {false, true}) {
            TZvAssembler code;
            code.Op(Zop::PushAddr).Addr(A::Data(0)).Op(Zop::PushAddr).Addr(A::Data(16));
            if (assign)
                code.Op(uint8_t(Zop::ExtAddAssign + i));
            else
                code.Op(uint8_t(Zop::ExtAdd + i)).Addr(A::Data(32));
            code.Op(Zop::Halt);
            auto module = Build(code);
            Put(*module, 0, LongDoubleToExtended(6));
            Put(*module, 16, LongDoubleToExtended(1.5L));
            Run(*module);
            EXPECT_EQ(ExtendedToLongDouble(module->GetDataBuf().data() + (assign ? 0 : 32)), expected[i])
                << "operation " << i << (assign ? " assigned" : "");
        }
    }
}

TEST_F(ZvLERunTest, NativeCallsTakeTheirArgumentsInDeclarationOrder)
{
    // 18 appends a wide value most significant word first: n = 10, 8 and 1.
    TZvAssembler code;
    code.Op(Zop::PushAddr).Addr(A::Data(0));
    for (const uint32_t n : {10u, 8u, 1u})
        code.Op(Zop::ArgBytes)
            .Addr(A::Stack(0))
            .Index(n)
            .Op(Zop::NativeProc)
            .Slot(QStringLiteral("RECORD#%1").arg(n));
    // Kind 11: the destination is emptied and handed over; kind 14 calls
    // nothing but still empties the arguments.
    code.Op(Zop::StrConst).Index(8).Addr(A::Data(16)).Text(QStringLiteral("old"));
    code.Op(Zop::NativeCall).Byte(11).Addr(A::Stack(0)).Slot(QStringLiteral("TEXT"));
    code.Op(Zop::Arg)
        .Addr(A::Data(0))
        .Op(Zop::NativeCall)
        .Byte(14)
        .Addr(A::Stack(0))
        .Slot(QStringLiteral("RECORD#14"));
    code.Op(Zop::NativeProc).Slot(QStringLiteral("RECORD#0")).Op(Zop::Halt);
    TZvModuleBuilder builder(QStringLiteral("PROBE"));
    builder.Code(code).DataSize(32);
    // Several slots of one function: the registry binds each external name.
    for (const QString& suffix : {QStringLiteral("#10"), QStringLiteral("#8"), QStringLiteral("#1"),
                                  QStringLiteral("#14"), QStringLiteral("#0")})
        RegisterNativeFunc(NativeFunc(kRecord), QStringLiteral("RECORD") + suffix, QStringLiteral("PROBE"));
    auto module = builder.Load();
    BindModuleExternals(module.get());
    for (int i = 0; i < 10; ++i)
        Put<uint8_t>(*module, i, uint8_t(i));
    Run(*module);
    ASSERT_EQ(gCalls.size(), 4u);
    EXPECT_EQ(gCalls[0], (std::vector<uint32_t>{0x0908, 0x07060504, 0x03020100}));
    EXPECT_EQ(gCalls[1], (std::vector<uint32_t>{0x07060504, 0x03020100}));
    EXPECT_EQ(gCalls[2], (std::vector<uint32_t>{0x00}));
    EXPECT_TRUE(gCalls[3].empty());
    EXPECT_EQ(gDestinationSeen, QString());
    EXPECT_EQ(RCPUStrings().Text(Get<uint32_t>(*module, 16)), QStringLiteral("new"));
}

TEST_F(ZvLERunTest, StackLimitsAndInvalidOpcodes)
{
    TZvAssembler overflow;
    for (int i = 0; i < 3; ++i)
        overflow.Op(Zop::PushNil);
    auto small = Build(overflow, 4, 8);
    EXPECT_EQ(Failure(*small), QStringLiteral("Stack Overflow"));

    TZvAssembler underflow;
    underflow.Op(Zop::Drop).Index(4);
    auto empty = Build(underflow);
    EXPECT_EQ(Failure(*empty), QStringLiteral("Stack Underflow"));

    for (const uint8_t opcode : {0x00, 0xFF, 0x8E}) {
        TZvAssembler code;
        code.Op(opcode);
        auto module = Build(code);
        EXPECT_EQ(Failure(*module), QStringLiteral("Cannot execute command (%1)")
                                        .arg(QString::number(opcode, 16).toUpper().rightJustified(2, u'0')));
    }
}

TEST_F(ZvLERunTest, ParametersReturnAndSuspension)
{
    // Two parameters: a string variable and Self. The script sets the
    // string through its cell and returns from the outermost frame.
    TZvAssembler code;
    code.Op(Zop::Enter).Index(0);
    code.Op(Zop::PushValue).Addr(A::Frame(16));
    code.Op(Zop::StrConst).Index(16).Addr(A::Data(0)).Text(QStringLiteral("changed"));
    code.Op(Zop::StrMove).Op(Zop::Return).Index(0);
    TZvModuleBuilder builder(QStringLiteral("PROBE"));
    builder.Code(code).DataSize(8);
    auto module = builder.Load();
    QString value = QStringLiteral("given");
    TObject self;
    module->PushParam(TZarvParam(&value));
    module->PushParam(TZarvParam(&self));
    std::unique_ptr<TObject> state;
    module->Execute(0, state);
    EXPECT_EQ(state, nullptr);
    EXPECT_EQ(value, QStringLiteral("changed"));
    EXPECT_EQ(RCPUHandles().Count(), 0); // Self's handle ended with the run

    // Suspension keeps the stack and resumes at the next instruction.
    TZvAssembler suspending;
    suspending.Op(Zop::PushValue).Addr(A::Data(0)).Op(Zop::Suspend).Op(Zop::Arg).Addr(A::Stack(0));
    suspending.Op(Zop::NativeProc).Slot(QStringLiteral("RECORD")).Op(Zop::Halt);
    auto paused = Build(suspending);
    Put<int32_t>(*paused, 0, 0x1234);
    Run(*paused, state);
    const int regions = RCPUMemory().RegionCount();
    ASSERT_NE(dynamic_cast<TRCPUSuspendState*>(state.get()), nullptr);
    EXPECT_TRUE(gCalls.empty());
    Put<int32_t>(*paused, 0, 0);
    Run(*paused, state);
    EXPECT_EQ(state, nullptr);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0], std::vector<uint32_t>{0x1234});
    EXPECT_EQ(RCPUMemory().RegionCount(), regions - 1); // the stack is gone
}

TEST_F(ZvLERunTest, MalformedByteCodeEndsTheRunWithAnError)
{
    const auto failure = [this](const TZvAssembler& code) {
        auto module = Build(code, 8);
        return Failure(*module);
    };
    TZvAssembler outside; // an address beyond the data segment
    outside.Op(Zop::PushValue).Addr(A::Data(6));
    EXPECT_TRUE(failure(outside).contains(QStringLiteral("(command 03 at code offset 0)")))
        << failure(outside).toStdString();
    TZvAssembler intoCode; // code is read-only
    intoCode.Op(Zop::Inline).Index(0).Op(Zop::PushAddr).Addr(A::Data(0)).Op(Zop::Move).Index(4);
    EXPECT_TRUE(failure(intoCode).startsWith(QStringLiteral("Invalid write of 4 bytes")));
    TZvAssembler pastEnd; // runs off the end of the code
    pastEnd.Op(Zop::Nop);
    EXPECT_TRUE(failure(pastEnd).startsWith(QStringLiteral("Code offset 1 outside the code")));
    TZvAssembler farCall; // a module number the module does not have
    farCall.Op(Zop::FarCall).Index(3).Index(0);
    EXPECT_TRUE(failure(farCall).contains(QStringLiteral("Module number 3")));
    TZvAssembler freeType; // a type number the module does not have
    freeType.Op(Zop::FreeData).Addr(A::Data(0)).Index(0).Index(5);
    EXPECT_TRUE(failure(freeType).contains(QStringLiteral("Type number 5")));
    TZvAssembler tooMany; // a 257th argument word
    for (int i = 0; i < 257; ++i)
        tooMany.Op(Zop::Arg).Addr(A::Data(0));
    EXPECT_TRUE(failure(tooMany).startsWith(QStringLiteral("More than 256 argument words")));
    TZvAssembler badReturn; // a return module that is no module
    badReturn.Op(Zop::PushNil)
        .Op(Zop::PushNil)
        .Op(Zop::PushNil)
        .Op(Zop::Enter)
        .Index(0)
        .Op(Zop::Return)
        .Index(0);
    EXPECT_TRUE(failure(badReturn).contains(QStringLiteral("Return module 0 unknown")));

    // An unbound slot names its function.
    TZvAssembler unbound;
    unbound.Op(Zop::NativeProc).Slot(QStringLiteral("MISSING"));
    EXPECT_EQ(failure(unbound), QStringLiteral("Native function not bound: PROBE.MISSING"));
}

TEST_F(ZvLERunTest, FuzzRandomByteCode)
{
    RCPUStepLimit = 2000;
    std::vector<QByteArray> seeds;
    TZvAssembler sample;
    sample.Op(Zop::PushAddr)
        .Addr(A::Data(0))
        .Op(Zop::PushAddr)
        .Addr(A::Data(4))
        .Op(Zop::IntAdd)
        .Addr(A::Data(8));
    sample.Op(Zop::StrConst).Index(4).Addr(A::Data(12)).Text(QStringLiteral("a"));
    sample.Op(Zop::Concat).Addr(A::Data(16)).Op(Zop::Enter).Index(4).Op(Zop::Return).Index(0);
    const std::vector<uint8_t> bytes = sample.Code();
    seeds.emplace_back(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    seeds.emplace_back(QByteArray("\x0A\x00\x03\x40\x11\x41\x17\x00\x00\x00\x00\x13\x00", 13));
    const FuzzStats stats = RunFuzzLoop(
        [](const QByteArray& input) {
            TZvModuleBuilder builder(QStringLiteral("PROBE"));
            builder.Module().SetCode(std::vector<uint8_t>(input.begin(), input.end()));
            builder.DataSize(32).StackSize(64);
            builder.Module().AddExternal(QStringLiteral("RECORD"), 7);
            std::unique_ptr<TObject> state;
            TRCPURunner runner;
            runner.Execute(&builder.Module(), nullptr, state);
        },
        seeds, 3.0);
    EXPECT_GT(stats.runs, 100);
}

TEST_F(ZvLERunTest, InstructionsEndingAtOrPastTheEndOfTheCode)
{
    // A last instruction whose operands end exactly at the end runs; one
    // whose operands are cut off, or a jump that would land past the end,
    // ends the run before it acts.
    TZvAssembler whole;
    whole.Op(Zop::PushAddr).Addr(A::Data(0)).Op(Zop::Arg).Addr(A::Stack(0));
    whole.Op(Zop::NativeProc).Slot(QStringLiteral("RECORD"));
    auto complete = Build(whole, 8);
    EXPECT_EQ(Failure(*complete), QStringLiteral("Code offset 9 outside the code of module PROBE"));
    EXPECT_EQ(gCalls.size(), 1u); // the call ran, then the run fell off the end

    gCalls.clear();
    TZvAssembler cut;
    cut.Op(Zop::PushAddr).Addr(A::Data(0)).Op(Zop::Arg).Addr(A::Stack(0)).Op(Zop::NativeProc).Byte(1).Byte(0);
    auto truncated = Build(cut, 8);
    EXPECT_EQ(Failure(*truncated),
              QStringLiteral("Code offset 7 outside the code of module PROBE (command 17 at code offset 4)"));
    EXPECT_TRUE(gCalls.empty());

    TZvAssembler escaped; // an address whose escaped index is cut off
    escaped.Op(Zop::PushValue).Byte(0xBF).Byte(0x80);
    auto cutIndex = Build(escaped, 8);
    EXPECT_EQ(Failure(*cutIndex),
              QStringLiteral("Code offset 3 outside the code of module PROBE (command 03 at code offset 0)"));

    TZvAssembler far;
    far.Op(Zop::Jump).Signed(3).Op(Zop::Halt); // lands at 1 + 3, one past the end
    auto pastEnd = Build(far, 8);
    EXPECT_TRUE(Failure(*pastEnd).startsWith(QStringLiteral("Target 4 outside the code of module PROBE")));
}

TEST_F(ZvLERunTest, AddressSpaceKeepsRegionsApart)
{
    TRCPUAddressSpace& memory = RCPUMemory();
    const int before = memory.RegionCount();
    // A region of exactly one 64 KB slot, and a small one after it: the
    // byte after the first is never the second's first byte.
    std::vector<uint8_t> big(0x10000, 1);
    std::vector<uint8_t> small(4, 2);
    const uint32_t a = memory.Map(big.data(), uint32_t(big.size()), true);
    const uint32_t b = memory.Map(small.data(), uint32_t(small.size()), false);
    EXPECT_EQ(*memory.Read(a + 0xFFFF, 1), 1);
    EXPECT_THROW(memory.Read(a + 0xFFFF, 2), ESheetcaster);
    EXPECT_THROW(memory.Read(a + 0x10000, 1), ESheetcaster);
    EXPECT_EQ(*memory.Read(b + 3, 1), 2);
    EXPECT_THROW(memory.Write(b, 1), ESheetcaster); // read-only
    EXPECT_THROW(memory.Read(b - 1, 1), ESheetcaster);
    EXPECT_THROW(memory.Read(0, 0), ESheetcaster);
    EXPECT_THROW(memory.Read(0xFFFFFFFF, 1), ESheetcaster);
    EXPECT_EQ(memory.RegionCount(), before + 2);

    // Far more maps than the space has slots: freed slots are found again,
    // and an unmapped region no longer answers.
    for (int i = 0; i < 70000; ++i) {
        const uint32_t c = memory.Map(small.data(), 4, true);
        ASSERT_NE(c, a);
        ASSERT_NE(c, b);
        memory.Unmap(c);
        ASSERT_THROW(memory.Read(c, 1), ESheetcaster);
    }
    memory.Unmap(a);
    memory.Unmap(b);
    EXPECT_EQ(memory.RegionCount(), before);
    EXPECT_THROW(memory.Read(a, 1), ESheetcaster);
}

TEST_F(ZvLERunTest, AssignmentsReleaseTheStringsTheyReplace)
{
    RCPUStepLimit = 0;
    // 10,000 times: a text into a variable (opcode 6), a character and a
    // concatenation into a field of a record (117, 138), and a native's
    // string result into its destination (22, kind 11). Data: the variable
    // at 0, the record's string field at 8 (its first word is an integer),
    // the character at 12, the counter at 16, its limit at 20, 1 at 24, the
    // test result at 28.
    TZvAssembler code;
    code.Label(QStringLiteral("top"));
    code.Op(Zop::StrConst).Index(6).Addr(A::Data(0)).Text(QStringLiteral("ab")).Op(Zop::Drop).Index(4);
    code.Op(Zop::PushAddr).Addr(A::Data(12)).Op(Zop::CharToStr).Addr(A::Stack(0)).Addr(A::Data(8));
    code.Op(Zop::Drop).Index(4);
    code.Op(Zop::PushAddr).Addr(A::Data(0)).Op(Zop::PushAddr).Addr(A::Data(8));
    code.Op(Zop::Concat).Addr(A::Data(8)).Op(Zop::Drop).Index(4);
    code.Op(Zop::PushAddr).Addr(A::Data(32)).Op(Zop::NativeCall).Byte(11).Addr(A::Stack(0));
    code.Slot(QStringLiteral("TEXT")).Op(Zop::Drop).Index(4);
    code.Op(Zop::PushAddr).Addr(A::Data(16)).Op(Zop::PushAddr).Addr(A::Data(24)).Op(Zop::IntAddAssign);
    code.Op(Zop::PushAddr).Addr(A::Data(16)).Op(Zop::PushAddr).Addr(A::Data(20));
    code.Op(Zop::IntLt).Addr(A::Data(28)).Op(Zop::Test).JumpTo(Zop::JumpTrue, QStringLiteral("top"));
    code.Op(Zop::Halt);
    auto module = Build(code, 40);
    Put<uint16_t>(*module, 12, u'c');
    Put<int32_t>(*module, 20, 10000);
    Put<int32_t>(*module, 24, 1);
    const int before = RCPUStrings().Count();
    Run(*module);
    // Still referenced: the variable, the field and the destination.
    EXPECT_EQ(RCPUStrings().Count(), before + 3);
    EXPECT_EQ(RCPUStrings().Text(Get<uint32_t>(*module, 0)), QStringLiteral("ab"));
    EXPECT_EQ(RCPUStrings().Text(Get<uint32_t>(*module, 8)), QStringLiteral("abc"));
    EXPECT_EQ(RCPUStrings().Text(Get<uint32_t>(*module, 32)), QStringLiteral("new"));
    EXPECT_EQ(gDestinationSeen, QString()); // the destination was emptied for the call
    for (const int offset : {0, 8, 32})
        RCPUStrings().Release(Get<uint32_t>(*module, offset));
    EXPECT_EQ(RCPUStrings().Count(), before);
}

TEST_F(ZvLERunTest, AStaleStringHandleIsRefusedAfterItsSlotIsReused)
{
    TRCPUStrings& strings = RCPUStrings();
    const uint32_t stale = strings.New(QStringLiteral("old"));
    strings.Release(stale);
    // Enough new strings that the freed slot is handed out again.
    std::vector<uint32_t> fresh;
    for (int i = 0; i < 64; ++i)
        fresh.push_back(strings.New(QStringLiteral("new %1").arg(i)));
    const QString refused = QStringLiteral("Invalid string reference %1").arg(stale);
    for (const uint32_t handle : fresh)
        ASSERT_NE(handle, stale);
    try {
        strings.Text(stale);
        ADD_FAILURE() << "a stale handle was read";
    } catch (const ESheetcaster& error) {
        EXPECT_EQ(error.Message(), refused);
    }
    EXPECT_THROW(strings.Release(stale), ESheetcaster);
    EXPECT_THROW(strings.AddRef(stale), ESheetcaster);

    // In byte code: comparing with the stale handle ends the run.
    TZvAssembler code;
    code.Op(Zop::PushAddr).Addr(A::Data(0)).Op(Zop::PushAddr).Addr(A::Data(4));
    code.Op(Zop::StrEq).Addr(A::Data(8)).Op(Zop::Halt);
    auto module = Build(code, 12);
    Put<uint32_t>(*module, 0, stale);
    Put<uint32_t>(*module, 4, fresh.front());
    EXPECT_EQ(Failure(*module), refused + QStringLiteral(" (command 3F at code offset 4)"));
    for (const uint32_t handle : fresh) {
        EXPECT_TRUE(strings.Text(handle).startsWith(QStringLiteral("new "))); // untouched
        strings.Release(handle);
    }
}
