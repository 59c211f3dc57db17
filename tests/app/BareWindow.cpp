// The yardstick of the start-up benchmark: a bare Qt window with a tab
// widget of four pages, about the size of the main window, linked against
// Qt Widgets alone and probed as the program is.
#include "app/Ustartupprobe.h"

#include <QApplication>
#include <QTabWidget>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QTabWidget tabs;
    for (const char* page : {"Tolerance", "Measures", "Unit", "Tools"})
        tabs.addTab(new QWidget, QString::fromLatin1(page));
    tabs.resize(760, 560);
    InstallStartUpProbe(&tabs);
    tabs.show();
    return application.exec();
}
