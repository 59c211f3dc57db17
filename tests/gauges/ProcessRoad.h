#pragma once
// The road of one request from a family button of the main window through
// the picker, the process window and its dialogs, with every window made
// by the application object in the program's order, scripted message boxes
// and no settings files. A road is a list of steps, each run once its
// window is the modal one on top.
#include "app/Unumberedit.h"
#include "app/Utessvar.h"
#include "app/core/Iregistry.h"
#include "gauges/Ucalibreselect.h"
#include "gauges/Ucalibreselect2.h"
#include "gauges/Ugasselclass.h"
#include "gauges/Ugaugesclasses.h"
#include "gauges/Uinstol.h"
#include "gauges/Uinsuns.h"
#include "gauges/Unpdia.h"
#include "gauges/Uprocess.h"
#include "gauges/Uprocess2.h"
#include "gauges/Utwbr.h"
#include "gauges/Utwsca.h"
#include "gauges/Utwwhitworth.h"
#include "gauges/Uwansiasme1.h"
#include "localization/PEResourceImage.h"
#include "platform/forms/MessageService.h"
#include "platform/os/DataFolders.h"
#include "platform/os/Modules.h"
#include "platform/rtl/NumberText.h"
#include "report/print/QpSystem.h"
#include "resources/ProgramResources.h"
#include "tests/gauges/ProgramWindows.h"
#include "tests/support/Screenshot.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <QWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

class ProcessRoadTest : public ::testing::Test {
protected:
    struct TStep {
        TCustomForm* Window;
        std::function<void()> Action;
    };

    void SetUp() override
    {
        Messages = std::make_unique<TScriptedMessages>();
        Windows = std::make_unique<TProgramWindows>();
    }
    void TearDown() override
    {
        Windows.reset();
        Messages.reset();
    }

    static TCustomForm* TopModal()
    {
        const QWidget* top = QApplication::activeModalWidget();
        for (TCustomForm* form : ScreenForms()) {
            if (form->Modal() && form->Widget() == top)
                return form;
        }
        return nullptr;
    }

    // Runs trigger and the steps in order. A road that stalls is cut off
    // after a while by cancelling every modal window.
    static void Road(const std::function<void()>& trigger, std::vector<TStep> steps)
    {
        size_t next = 0;
        bool busy = false;
        QTimer poll;
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (busy || next >= steps.size() || TopModal() != steps[next].Window)
                return;
            busy = true;
            QTimer::singleShot(0, [&, step = next] {
                ++next;
                busy = false;
                steps[step].Action();
            });
        });
        QTimer stall;
        stall.setSingleShot(true);
        // One window at a time: a modal loop ends only once this handler
        // has returned to it.
        QObject::connect(&stall, &QTimer::timeout, [&stall] {
            if (TCustomForm* window = TopModal()) {
                window->SetModalResult(mrCancel);
                stall.start(100);
            }
        });
        poll.start();
        stall.start(20000);
        trigger();
        EXPECT_EQ(next, steps.size()) << "the road stalled";
    }

    static void Type(TEdit* edit, const QString& text)
    {
        edit->SetFocus();
        edit->SetText(text);
    }
    static void Press(TSpeedButton* button) { QTest::mouseClick(button->ToolWidget(), Qt::LeftButton); }
    // Releases "Calculate Std Tolerance" and presses it again.
    static void CalculateAgain(TSpeedButton* button)
    {
        Press(button);
        Press(button);
    }
    static void Click(TButton* button) { QTest::mouseClick(button->ButtonWidget(), Qt::LeftButton); }
    static void Check(TRadioButton* button)
    {
        QRadioButton* radio = button->RadioWidget();
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
    }
    static void SetUnit(TComboBox* unit, int index)
    {
        unit->ComboWidget()->setCurrentIndex(index);
        emit unit->ComboWidget()->activated(index);
    }
    // A group, then an item of a picker.
    static std::function<void()> Pick(TfCalibreSelect* picker, int group, int item)
    {
        return [picker, group, item] {
            picker->bType1Click(picker->GroupLabels.at(size_t(group)));
            Click(picker->TypeButtons.at(size_t(item)));
        };
    }
    static std::function<void()> Cancel(TCustomForm* window)
    {
        return [window] { window->SetModalResult(mrCancel); };
    }
    static TRadioButton* Captioned(const std::vector<TRadioButton*>& buttons, const QString& caption)
    {
        for (TRadioButton* button : buttons) {
            if (button->Visible() && button->Caption() == caption)
                return button;
        }
        ADD_FAILURE() << "no button " << caption.toStdString();
        return buttons.front();
    }
    static std::function<void()> PipeSize(const QString& caption)
    {
        return [caption] {
            Check(Captioned(fNPDia->SizeButtonList, caption));
            Click(fNPDia->bOk);
        };
    }
    // The inch wizard: 1/4 - 20 UNC, class 2.
    static std::function<void()> Quarter20Unc(bool j = false)
    {
        return [j] {
            TfwAnsiAsme1* w = fwAnsiAsme1;
            Check(w->rUN);
            w->cJprofile->SetChecked(j);
            Click(w->bNext);
            Check(w->rD[0]);
            Click(w->bNext);
            Check(w->FractionButtonList.at(10)); // 1/4
            Click(w->bNext);
            Check(w->PitchButtonList.at(0)); // 20 UNC
            Click(w->bNext);
            Check(w->rT2);
            Click(w->bNext);
        };
    }
    // The inch wizard's UNS answer, then the UNS entry dialog: diameter,
    // threads per inch and class 2.
    static std::vector<TStep> UnsEntry(const QString& diameter, const QString& tpi)
    {
        return {{fwAnsiAsme1,
                 [] {
                     Check(fwAnsiAsme1->rUNS);
                     Click(fwAnsiAsme1->bNext);
                 }},
                {fInsUNS, [diameter, tpi] {
                     Type(fInsUNS->eDia, diameter);
                     Type(fInsUNS->eStep, tpi);
                     Check(fInsUNS->rT2);
                     Click(fInsUNS->bOk);
                 }}};
    }
    // A calculation of the gauge window: the window's own step, then the
    // dialogs, then a check on the window, which is then closed.
    void Gauge(TButton* family, int group, int item, const std::function<void()>& typing,
               std::vector<TStep> dialogs, const std::function<void()>& check)
    {
        std::vector<TStep> steps{{fCalibreSelect, Pick(fCalibreSelect, group, item)},
                                 {fProcess, [typing] {
                                      typing();
                                      Press(fProcess->sbCalcTol);
                                  }}};
        steps.insert(steps.end(), dialogs.begin(), dialogs.end());
        steps.push_back({fProcess, [check] {
                             check();
                             fProcess->SetModalResult(mrCancel);
                         }});
        // The hidden spline button's handler runs as its click would.
        Road([family] { family->Visible() ? Click(family) : fTessvar->bISOClick(family); }, steps);
    }
    // A value of a window's length list in mm; NaN for the empty value.
    static double Value(const NCLIST& list, TEdit* edit)
    {
        double value = 0;
        return list.GetValue(NumberEditOf(edit), value) ? value : NAN;
    }
    static double Value(TEdit* edit) { return Value(fProcess->ValueList, edit); }

    // With TESSVAR_SCREENSHOTS set to a folder, a picture of the window
    // there for looking at it.
    static void Screenshot(TCustomForm* window, const QString& name) { SaveScreenshot(window, name); }

    std::unique_ptr<TScriptedMessages> Messages;
    std::unique_ptr<TProgramWindows> Windows;
};
