#pragma once
// The setting of a benchmark program that opens the program's windows:
// private data and settings folders, so that the real user's settings stay
// untouched, and the offscreen platform. Made before the QApplication.
#include <QTemporaryDir>
#include <QtGlobal>

class TBenchmarkSandbox {
public:
    TBenchmarkSandbox()
    {
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            qputenv(name, FFolder.path().toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

private:
    QTemporaryDir FFolder;
};
