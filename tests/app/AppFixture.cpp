#include "tests/app/AppFixture.h"

#include "app/Uappclasses.h"
#include "app/core/Iregistry.h"
#include "localization/PEResourceImage.h"
#include "platform/os/DataFolders.h"
#include "platform/os/Modules.h"
#include "platform/rtl/NumberText.h"
#include "resources/ProgramResources.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <cmath>

void AppTest::SetUp()
{
    InitProgramResources(ProgramResourceImageBytes());
    RegisterAppClasses();
    QDir(ProgramDataRoot() + QStringLiteral("/Dravinel")).removeRecursively();
    SetIRegistryFolder(OstrivalDataFolder);
    SetDecimalSeparator(u'.');
    Messages = std::make_unique<TScriptedMessages>();
}

void AppTest::TearDown()
{
    App.reset();
    Messages.reset();
    ResetNumberSeparators();
    SetIRegistryFolder(OstrivalDataFolder);
    ResetResourceModule();
}

void AppTest::CreateWindows()
{
    App = std::make_unique<TApplication>();
    App->SetTitle(QStringLiteral("Tessvar"));
    App->CreateForm(fTessvar);
    App->CreateForm(fIsoguide);
    App->CreateForm(fQfili);
    App->CreateForm(fplvZero);
}

void AppTest::StartProgram()
{
    CreateWindows();
    fTessvar->Show();
}

void AppTest::Type(TEdit* edit, const QString& text)
{
    QLineEdit* widget = edit->EditWidget();
    widget->selectAll();
    if (text.isEmpty())
        QTest::keyClick(widget, Qt::Key_Delete);
    else
        QTest::keyClicks(widget, text); // the first key replaces the old text
}

void AppTest::Choose(TComboBox* combo, int index)
{
    combo->ComboWidget()->setCurrentIndex(index);
    emit combo->ComboWidget()->activated(index);
}

void AppTest::PickTab(TPageControl* pages, int index)
{
    pages->TabBar()->setCurrentIndex(index);
}

void AppTest::ClickButton(TButton* button)
{
    QTest::mouseClick(button->ButtonWidget(), Qt::LeftButton);
}

bool AppTest::WhileModal(TCustomForm* window, const std::function<void()>& trigger,
                         const std::function<void()>& inside, TModalResult result)
{
    // Polls until the window runs modally (another modal window may come
    // first), and stops when the trigger is through.
    bool shown = false;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (shown || !window->Modal())
            return;
        shown = true;
        if (inside)
            inside();
        window->SetModalResult(result);
    });
    poll.start();
    trigger();
    return shown;
}

double AppTest::Value(TEdit* edit)
{
    double value = 0;
    return fTessvar->LengthList.GetValue(NumberEditOf(edit), value) ? value : NAN;
}

double AppTest::TextLength(const QString& text, int unit)
{
    DISPLAY readout;
    readout.Reset();
    readout.SetUnit(unit);
    return readout.PresetText(text) ? readout.ReadValue() : NAN;
}

QString AppTest::SettingsFile()
{
    return MapWindowsPath(TessvarDataFolder) + QStringLiteral("lm_iregistry.ini");
}

void AppTest::WriteSettings(const QByteArray& ini)
{
    QDir().mkpath(MapWindowsPath(TessvarDataFolder));
    QFile file(SettingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ini);
}
