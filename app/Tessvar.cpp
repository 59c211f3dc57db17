// Program entry. The application object carries the title "Tessvar"; the
// windows join the start-up order as they are built.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessvar"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessvar"));
    QWidget mainWindow;
    mainWindow.setWindowTitle(QStringLiteral("Tessvar"));
    mainWindow.resize(800, 600);
    mainWindow.show();
    return app.exec();
}
