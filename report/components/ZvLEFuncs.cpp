// ZvLEFuncs: the table of native functions, its registration, and the
// argument decoding shared by its rows.
#include "report/components/ZvLEFuncs.h"
#include "platform/rtl/Extended80.h"
#include "platform/rtl/NumberText.h"
#include "report/components/ZvLEFuncs_p.h"
#include "report/model/ZvDefine.h"
#include "report/print/QpDefine.h"

#include <cxxabi.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <deque>

namespace ZvLEFuncs {

uint32_t TNativeArgs::Word()
{
    if (FNext >= FWords.size())
        RaiseError(Translate(QStringLiteral("%1: too few arguments").arg(FName)));
    return FWords[FNext++];
}

double TNativeArgs::Double()
{
    const uint64_t high = Word();
    const uint64_t low = Word();
    return std::bit_cast<double>((high << 32) | low);
}

long double TNativeArgs::Extended()
{
    const uint32_t top = Word();
    const uint32_t high = Word();
    const uint32_t low = Word();
    uint8_t bytes[10];
    std::memcpy(bytes, &low, 4);
    std::memcpy(bytes + 4, &high, 4);
    std::memcpy(bytes + 8, &top, 2);
    return ExtendedToLongDouble(bytes);
}

QString TNativeArgs::String()
{
    return Cpu.StringOf(Word());
}

void TNativeArgs::WrongObject(uint32_t handle, const QString& className, bool stale) const
{
    if (handle == 0)
        RaiseError(Translate(QStringLiteral("%1: nil object, expected a %2").arg(FName, className)));
    if (stale)
        RaiseError(Translate(QStringLiteral("%1: object %2 no longer exists, expected a %3")
                                 .arg(FName)
                                 .arg(handle)
                                 .arg(className)));
    RaiseError(Translate(QStringLiteral("%1: object %2 is not a %3").arg(FName).arg(handle).arg(className)));
}

QString ClassNameOf(const std::type_info& type)
{
    int status = 0;
    char* name = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    const QString text = status == 0 && name ? QString::fromLatin1(name) : QString::fromLatin1(type.name());
    std::free(name);
    return text;
}

TRCPUNativeResult Answer(TNativeArgs&, const Currency& value)
{
    return TRCPUNativeResult::OfCurrency(value.Scaled);
}

} // namespace ZvLEFuncs

const std::vector<TNativeFuncRow>& NativeFuncTable()
{
    // The natives live as long as the process: the registry and bound
    // modules hold their addresses.
    static std::deque<TRCPUNative>* const natives = new std::deque<TRCPUNative>;
    static const std::vector<TNativeFuncRow>* const table = [] {
        auto* rows = new std::vector<TNativeFuncRow>;
        using namespace ZvLEFuncs;
        TRowBuilder builder(*rows, *natives);
        AddSysFuncRows(builder);
        AddZvBaseRows(builder);
        AddZvClassRows(builder);
        AddZvCsBarsRows(builder);
        AddZvCsDataRows(builder);
        AddZvCsDrawRows(builder);
        AddZvCsRptRows(builder);
        AddZvCsStdRows(builder);
        AddZvDataRows(builder);
        AddZvProjRows(builder);
        return rows;
    }();
    return *table;
}

void RegisterNativeFuncTable()
{
    for (const TNativeFuncRow& row : NativeFuncTable())
        RegisterNativeFuncHook(NativeFunc(*row.Func), row.Name, row.Module);
}

void RecordScriptLibraryProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    RegisterZarvProc(QStringLiteral("ZVCL"), &RegisterNativeFuncTable);
}
