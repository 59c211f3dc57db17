#pragma once
// Fixes the locale the "Print to PDF" printer takes its paper from, while
// the object lives: LC_ALL, LC_PAPER and LANG as given (null: unset). The
// global printer device forgets its printers on both ends, so its device
// mode is made afresh with the locale's paper, and a paper that a report
// chose before is gone. Tests that print on the PDF printer hold one, so
// that the machine's locale does not decide their paper.
#include "report/print/QpDevice.h"

#include <QByteArray>

#include <array>

class TPaperLocale {
public:
    explicit TPaperLocale(const char* lang) : TPaperLocale(nullptr, nullptr, lang) {}
    TPaperLocale(const char* lcAll, const char* lcPaper, const char* lang)
    {
        for (size_t i = 0; i < kVariables.size(); ++i) {
            FSet[i] = qEnvironmentVariableIsSet(kVariables[i]);
            FSaved[i] = qgetenv(kVariables[i]);
        }
        Put(0, lcAll);
        Put(1, lcPaper);
        Put(2, lang);
        GlobalPrinterDevice()->ForgetPrinters();
    }
    ~TPaperLocale()
    {
        for (size_t i = 0; i < kVariables.size(); ++i)
            Put(i, FSet[i] ? FSaved[i].constData() : nullptr);
        GlobalPrinterDevice()->ForgetPrinters();
    }
    TPaperLocale(const TPaperLocale&) = delete;
    TPaperLocale& operator=(const TPaperLocale&) = delete;

private:
    static constexpr std::array<const char*, 3> kVariables = {"LC_ALL", "LC_PAPER", "LANG"};
    static void Put(size_t i, const char* value)
    {
        if (value)
            qputenv(kVariables[i], value);
        else
            qunsetenv(kVariables[i]);
    }

    std::array<bool, 3> FSet{};
    std::array<QByteArray, 3> FSaved;
};
