#pragma once
// Output of the table generators. A generator collects its file in Out (with
// Emit and Printf), counts failed self-checks with Check, and ends with
// WriteTable: to the file named by its first argument, or to standard output
// when it has none.
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/SafeSave.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace tablewriter {

inline std::string Out;
inline int Failures = 0;

inline void Emit(const std::string& text)
{
    Out += text;
}

// printf into a string; the generators' lines stay well below the buffer.
inline std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string Printf(const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// A failed check is reported on standard error and counted in Failures.
inline void Check(bool ok, const std::string& what)
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what.c_str());
        ++Failures;
    }
}

// Writes text to the file argv[1] through the program's one crash-safe save
// (a cut-short write leaves the previous file as it was), or to standard
// output when argc < 2. The program's exit code: 0, or 1 with a message
// (after messagePrefix) when the file cannot be written.
inline int WriteTable(const std::string& text, int argc, char** argv, const char* messagePrefix = "")
{
    if (argc < 2) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    try {
        SaveBytesToFile(QString::fromLocal8Bit(argv[1]), QByteArray(text.data(), qsizetype(text.size())));
    } catch (const Exception& error) {
        std::fprintf(stderr, "%s%s\n", messagePrefix, error.what());
        return 1;
    }
    return 0;
}

} // namespace tablewriter
