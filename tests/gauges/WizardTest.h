#pragma once
// Driving the wizards and entry dialogs as a user does: mouse clicks on
// their widgets while they are shown modally.
#include "tests/gauges/GaugesFixture.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <functional>

inline void Press(TButton* button)
{
    QTest::mouseClick(button->ButtonWidget(), Qt::LeftButton);
}

// On the indicator: a radio button takes clicks on its indicator and text
// only, not on the rest of its width.
inline void Pick(TRadioButton* button)
{
    QRadioButton* radio = button->RadioWidget();
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
}

// Shows the window modally and runs the steps once it is up; a window the
// steps leave open is cancelled. Returns the modal result.
inline int RunModal(TCustomForm* form, TButton* cancel, const std::function<void()>& steps)
{
    QTimer::singleShot(0, [&] {
        steps();
        if (form->Modal() && form->ModalResult() == mrNone)
            cancel->Click();
    });
    return form->ShowModal();
}
