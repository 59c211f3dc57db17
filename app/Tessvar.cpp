// Program entry. The program's resources (string table, form streams,
// pictures, version) are connected before anything else; the application
// object carries the title "Tessvar"; the windows join the start-up order as
// they are built.
#include "localization/PEResourceImage.h"
#include "resources/ProgramResources.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    InitProgramResources(ProgramResourceImageBytes());
    QApplication::setApplicationName(QStringLiteral("Tessvar"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessvar"));
    QWidget mainWindow;
    mainWindow.setWindowTitle(QStringLiteral("Tessvar"));
    mainWindow.resize(800, 600);
    mainWindow.show();
    return app.exec();
}
