#pragma once
// The no-printer road of the device layer, as on a machine where neither
// CUPS nor the device layer offers a printer: tests of the canvas's own page
// and of printing into a named file. They run only without CUPS printers
// (as in CI), with the "Print to PDF" printer hidden until they end.
#include "report/print/QpDevice.h"

#include <QPrinterInfo>
#include <gtest/gtest.h>

// Hidden from construction on, so that members of a fixture made before its
// SetUp already see no printer.
class NoPrinterTest : public ::testing::Test {
protected:
    NoPrinterTest() { SetPdfPrinterHidden(true); }
    ~NoPrinterTest() override { SetPdfPrinterHidden(false); }
    void SetUp() override
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            GTEST_SKIP() << "a printer is installed";
    }
};
