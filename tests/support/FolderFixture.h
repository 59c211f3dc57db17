#pragma once
// A test fixture with a fresh temporary folder for the files a test writes,
// reads back and lists.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <stdexcept>

class TFolderFixture : public ::testing::Test {
protected:
    QString PathOf(const QString& name) const { return FDir.filePath(name); }

    // Writes bytes as name in the folder; returns the file's path.
    QString WriteFile(const QString& name, const QByteArray& bytes) const
    {
        const QString path = PathOf(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write the test file");
        return path;
    }

    // The file's bytes, or "<missing>" when it cannot be read.
    static QByteArray ReadFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // Every entry of the folder, hidden ones (a left-over temporary file)
    // included, sorted by name.
    QStringList FolderEntries() const
    {
        return QDir(FDir.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir FDir;
};
