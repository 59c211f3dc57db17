#pragma once
// With TESSVAR_SCREENSHOTS set to a folder, a picture of a window there (a
// PNG named name), for looking at it; nothing otherwise.
#include "platform/forms/Forms.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <gtest/gtest.h>

inline void SaveScreenshot(TCustomForm* window, const QString& name)
{
    const QString folder = qEnvironmentVariable("TESSVAR_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->Widget()->grab().save(folder + u'/' + name + QStringLiteral(".png")));
}
