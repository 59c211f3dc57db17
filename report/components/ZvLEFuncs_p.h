#pragma once
// The adapter layer of the script function library: decodes a native call's
// argument words by the C++ type of the member a row forwards to, calls it
// and answers its result by kind, so that each row of the table is one line.
//
// Argument words (in declaration order, the object first for a wrapper):
// Boolean, enumerations, sets, integers and colours one word; Double two
// words, the most significant first; Extended three words, the sign and
// exponent first; strings and objects as handles; a var parameter or a
// record as an address in the CPU's memory.
#include "platform/objects/ClassRegistry.h"
#include "report/components/ZvLEFuncs.h"

#include <QChar>
#include <QString>

#include <concepts>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

struct Currency;

namespace ZvLEFuncs {

// The argument words of one call, taken in order.
class TNativeArgs {
public:
    TNativeArgs(TRCPURunner& cpu, std::span<const uint32_t> words, const QString& name)
        : Cpu(cpu), FWords(words), FName(name)
    {
    }

    TRCPURunner& Cpu;
    const QString& Name() const { return FName; }

    // ESheetcaster when the call passed fewer words than the function takes.
    uint32_t Word();
    double Double();
    long double Extended();
    QString String();
    // An object argument: nil for 0; ESheetcaster naming the function and the
    // class for a stale handle or an object of another class.
    template <class T> T* Object(const QString& className)
    {
        const uint32_t handle = Word();
        if (handle == 0)
            return nullptr;
        return Checked<T>(handle, className);
    }
    // The object a wrapper works on: never nil.
    template <class T> T& Self(const QString& className)
    {
        const uint32_t handle = Word();
        if (handle == 0)
            WrongObject(handle, className, false);
        return *Checked<T>(handle, className);
    }

private:
    template <class T> T* Checked(uint32_t handle, const QString& className)
    {
        TObject* object = Cpu.ObjectOf(handle);
        if (!object)
            WrongObject(handle, className, true);
        T* typed = dynamic_cast<T*>(object);
        if (!typed)
            WrongObject(handle, className, false);
        return typed;
    }
    [[noreturn]] void WrongObject(uint32_t handle, const QString& className, bool stale) const;

    std::span<const uint32_t> FWords;
    const QString& FName;
    size_t FNext = 0;
};

// ---------------------------------------------------------------------------
// Values by C++ type.

// The C++ class name of a type ("TZarvPage"), for messages.
QString ClassNameOf(const std::type_info& type);

template <class T> T Take(TNativeArgs& args)
{
    if constexpr (std::is_same_v<T, bool>)
        return (args.Word() & 0xFF) != 0;
    else if constexpr (std::is_same_v<T, QString>)
        return args.String();
    else if constexpr (std::is_same_v<T, QChar>)
        return QChar(char16_t(args.Word()));
    else if constexpr (std::is_floating_point_v<T>)
        return T(args.Double());
    else if constexpr (std::is_enum_v<T>)
        return static_cast<T>(std::underlying_type_t<T>(args.Word()));
    else if constexpr (std::is_integral_v<T>)
        return static_cast<T>(args.Word());
    else if constexpr (std::is_pointer_v<T>)
        return args.Object<std::remove_cv_t<std::remove_pointer_t<T>>>(
            ClassNameOf(typeid(std::remove_cv_t<std::remove_pointer_t<T>>)));
    else
        static_assert(sizeof(T) == 0, "no argument decoding for this type");
}

TRCPUNativeResult Answer(TNativeArgs& args, const Currency& value);

template <class R> TRCPUNativeResult Answer(TNativeArgs& args, const R& value)
{
    if constexpr (std::is_same_v<R, bool>)
        return TRCPUNativeResult::OfInteger(value ? 1 : 0);
    else if constexpr (std::is_same_v<R, QString>)
        return TRCPUNativeResult::OfString(value);
    else if constexpr (std::is_floating_point_v<R>)
        return TRCPUNativeResult::OfExtended(static_cast<long double>(value));
    else if constexpr (std::is_enum_v<R> || std::is_integral_v<R>)
        return TRCPUNativeResult::OfInteger(int32_t(value));
    else if constexpr (std::is_pointer_v<R>)
        return TRCPUNativeResult::OfInteger(
            int32_t(args.Cpu.HandleFor(const_cast<TObject*>(static_cast<const TObject*>(value)))));
    else
        static_assert(sizeof(R) == 0, "no result encoding for this type");
}

// The parameters after the object of a member function or of a function
// that takes the object first.
template <class F, class = void> struct TParams;
template <class K, class R, class... A> struct TParams<R (K::*)(A...), void> {
    using Types = std::tuple<std::decay_t<A>...>;
};
template <class K, class R, class... A> struct TParams<R (K::*)(A...) const, void> {
    using Types = std::tuple<std::decay_t<A>...>;
};
template <class R, class S, class... A> struct TParams<R (*)(S, A...), void> {
    using Types = std::tuple<std::decay_t<A>...>;
};
template <class F> struct TLambdaParams;
template <class L, class R, class S, class... A> struct TLambdaParams<R (L::*)(S, A...) const> {
    using Types = std::tuple<std::decay_t<A>...>;
};
template <class F>
struct TParams<F, std::void_t<decltype(&F::operator())>> : TLambdaParams<decltype(&F::operator())> {
};

template <class... A> std::tuple<A...> TakeAll(TNativeArgs& args, std::tuple<A...>*)
{
    return std::tuple<A...>{Take<A>(args)...}; // braces: taken in order
}

template <class C, class F> TRCPUNativeResult Forward(TNativeArgs& args, C& self, const F& f)
{
    auto values = TakeAll(args, static_cast<typename TParams<F>::Types*>(nullptr));
    using R = decltype(std::apply([&](auto&... v) { return std::invoke(f, self, v...); }, values));
    if constexpr (std::is_void_v<R>) {
        std::apply([&](auto&... v) { std::invoke(f, self, v...); }, values);
        return {};
    } else {
        return Answer(args, std::apply([&](auto&... v) { return std::invoke(f, self, v...); }, values));
    }
}

// ---------------------------------------------------------------------------
// Rows.

class TRowBuilder {
public:
    TRowBuilder(std::vector<TNativeFuncRow>& rows, std::deque<TRCPUNative>& natives)
        : FRows(rows), FNatives(natives)
    {
    }
    void Add(const QString& module, const QString& name, TRCPUNativeProc proc)
    {
        FNatives.push_back(TRCPUNative{std::move(proc)});
        FRows.push_back(TNativeFuncRow{&FNatives.back(), name, module});
    }

private:
    std::vector<TNativeFuncRow>& FRows;
    std::deque<TRCPUNative>& FNatives;
};

// The rows of one class: "CLASS.NAME" under the module, each checking that
// its object is a C.
template <class C> class TClassRows {
public:
    TClassRows(TRowBuilder& builder, const char* module, const char* className)
        : FBuilder(builder), FModule(QString::fromLatin1(module)), FClass(QString::fromLatin1(className))
    {
    }

    // A member function or a function of (C&, parameters...).
    template <class F> TClassRows& Fn(const char* member, F f)
    {
        return Raw(member, [f](C& self, TNativeArgs& args) { return Forward(args, self, f); });
    }
    // A function of (C&, TNativeArgs&) that decodes its own arguments.
    template <class F> TClassRows& Raw(const char* member, F f)
    {
        const QString name = FClass.toUpper() + QLatin1Char('.') + QString::fromLatin1(member);
        const QString className = FClass;
        FBuilder.Add(FModule, name, [f, name, className](TRCPURunner& cpu, std::span<const uint32_t> words) {
            TNativeArgs args(cpu, words, name);
            C& self = args.Self<C>(className);
            return f(self, args);
        });
        return *this;
    }
    template <class G> TClassRows& Get(const char* prop, G getter)
    {
        return Fn(("GET" + std::string(prop)).c_str(), getter);
    }
    template <class S> TClassRows& Set(const char* prop, S setter)
    {
        return Fn(("SET" + std::string(prop)).c_str(), setter);
    }
    template <class G, class S> TClassRows& GetSet(const char* prop, G getter, S setter)
    {
        return Get(prop, getter).Set(prop, setter);
    }

private:
    TRowBuilder& FBuilder;
    QString FModule;
    QString FClass;
};

// The rows of each module, in table order.
void AddSysFuncRows(TRowBuilder& builder);
void AddZvBaseRows(TRowBuilder& builder);
void AddZvClassRows(TRowBuilder& builder);
void AddZvCsBarsRows(TRowBuilder& builder);
void AddZvCsDataRows(TRowBuilder& builder);
void AddZvCsDrawRows(TRowBuilder& builder);
void AddZvCsRptRows(TRowBuilder& builder);
void AddZvCsStdRows(TRowBuilder& builder);
void AddZvDataRows(TRowBuilder& builder);
void AddZvProjRows(TRowBuilder& builder);

} // namespace ZvLEFuncs
