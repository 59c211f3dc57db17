#pragma once
// Shared fixture of the gauge window tests: the program's resource image,
// the registered window classes and a main window whose current gauge type
// the windows read.
#include "app/Utessvar.h"
#include "gauges/Ugaugesclasses.h"
#include "localization/PEResourceImage.h"
#include "platform/os/Modules.h"
#include "resources/ProgramResources.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

// Destroys a window as the application does: OnDestroy, then delete.
struct TFormDeleter {
    void operator()(TCustomForm* form) const { DestroyForm(form); }
};
template <class T> using TFormPtr = std::unique_ptr<T, TFormDeleter>;

class GaugesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitProgramResources(ProgramResourceImageBytes());
        RegisterGaugesClasses();
        FMain.reset(NewForm<TfTessvar>(nullptr));
        fTessvar = FMain.get();
    }
    void TearDown() override
    {
        FMain.reset();
        ResetResourceModule();
    }

    // The gauge type the main window would hand over after the picker.
    static void SetCurrentType(int family, int group, int item)
    {
        fTessvar->CurrentType.Family = family;
        fTessvar->CurrentType.Group = group;
        fTessvar->CurrentType.Item = item;
    }

    // Shows a window modally and presses its button when it is up.
    static int ShowAndPress(TCustomForm* form, TButton* button)
    {
        QTimer::singleShot(0, [button] { button->Click(); });
        return form->ShowModal();
    }

private:
    TFormPtr<TfTessvar> FMain;
};
