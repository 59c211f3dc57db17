#pragma once
// While the object lives, the test process stands for the program started
// from a folder of its own: the current folder is the file system's root,
// which holds no report projects, and the program file is the one the build
// made, so what the program finds beside itself is found as the program
// finds it.
#include "platform/os/ProgramFile.h"

#include <QDir>
#include <QString>

class TStartedElsewhere {
public:
    explicit TStartedElsewhere(const QString& program) : FSaved(QDir::currentPath())
    {
        SetProgramFileName(program);
        QDir::setCurrent(QDir::rootPath());
    }
    ~TStartedElsewhere()
    {
        QDir::setCurrent(FSaved);
        SetProgramFileName(QString());
    }
    TStartedElsewhere(const TStartedElsewhere&) = delete;
    TStartedElsewhere& operator=(const TStartedElsewhere&) = delete;

private:
    QString FSaved;
};
