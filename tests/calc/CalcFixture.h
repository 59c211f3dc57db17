#pragma once
// Shared fixture of the calculator tests: the string table serves LoadStr,
// the gauge types come from the program's catalogue, and the message boxes
// go to the scripted service.
#include "app/core/Ucalibretype.h"
#include "app/core/Unan.h"
#include "calc/Utiso.h"
#include "platform/forms/MessageService.h"
#include "tests/support/StringTableImage.h"

#include <gtest/gtest.h>

#include <memory>

class CalcTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallStringTableImage(QStringLiteral(TESSVAR_SOURCE_DIR "/resources/StringTable.txt"));
        ResetMessages();
    }
    void TearDown() override { Messages.reset(); }

    // A fresh scripted service; the old one goes first, since its end puts
    // the Qt service back.
    void ResetMessages()
    {
        Messages.reset();
        Messages = std::make_unique<TScriptedMessages>();
    }

    // The catalogue record of an ISO key (group * 100 + item).
    static CALIBRETYPE Type(int key)
    {
        CALIBRETYPELIST list;
        FillTypeCatalogue(list);
        CALIBRETYPE type;
        type.Family = 0;
        type.Group = key / 100;
        type.Item = key % 100;
        EXPECT_TRUE(list.Find(type)) << "key " << key;
        return type;
    }

    struct Outcome {
        bool Ok = false;
        TOLLERANCE Result{};
        QString Tolerance; // the tolerance buffer afterwards
        QString Class;
        QString Designation;
    };

    // Runs the process windows' entry on a cleared record.
    static Outcome Calc(int key, double diameter, double pitch, const QString& tolerance, double starts = 1,
                        bool american = false, bool mj = false)
    {
        return Calc(Type(key), diameter, pitch, tolerance, starts, american, mj);
    }
    static Outcome Calc(const CALIBRETYPE& type, double diameter, double pitch, const QString& tolerance,
                        double starts = 1, bool american = false, bool mj = false)
    {
        Outcome outcome;
        ClearToleranceRecord(outcome.Result);
        TCalcText text(tolerance);
        TCalcText classText;
        TCalcText designation;
        outcome.Ok = CalcIsoMetricText(diameter, pitch, text, classText, designation, type, outcome.Result,
                                       american, starts, mj);
        outcome.Tolerance = text.Text();
        outcome.Class = classText.Text();
        outcome.Designation = designation.Text();
        return outcome;
    }

    std::unique_ptr<TScriptedMessages> Messages;
};
