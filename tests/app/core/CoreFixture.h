#pragma once
// Shared fixture of the app/core tests: every test starts with no settings
// files (the data folders of the sandbox removed), the store's global folder
// at its default and "." as decimal separator.
#include "app/core/Iregistry.h"
#include "platform/os/DataFolders.h"
#include "platform/rtl/NumberText.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

class CoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir(ProgramDataRoot() + QStringLiteral("/Dravinel")).removeRecursively();
        SetIRegistryFolder(OstrivalDataFolder);
        SetDecimalSeparator(u'.');
    }
    void TearDown() override
    {
        SetIRegistryFolder(OstrivalDataFolder);
        ResetNumberSeparators();
    }

    // The local path of a file in a data folder given in Windows form.
    static QString LocalFile(const QString& windowsFolder, const QString& name)
    {
        return MapWindowsPath(windowsFolder) + name;
    }
    static void WriteFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(path.left(path.lastIndexOf(u'/')));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QByteArray ReadFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};
