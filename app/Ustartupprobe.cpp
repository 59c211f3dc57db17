#include "app/Ustartupprobe.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

class TFirstPaint : public QObject {
public:
    explicit TFirstPaint(QWidget* window) : QObject(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !FSeen) {
            FSeen = true;
            // The paint runs after this filter; the line goes out once it is
            // done and the window's picture has been handed on.
            QTimer::singleShot(0, [] {
                std::fputs("shown\n", stdout);
                std::fflush(stdout);
                std::_Exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool FSeen = false;
};

class TMessageShown : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box && event->type() == QEvent::Show) {
            const QString text = box->text().replace(QLatin1Char('\n'), QLatin1Char(' '));
            std::fprintf(stdout, "message %s\n", text.toLocal8Bit().constData());
            std::fflush(stdout);
            QTimer::singleShot(0, box, [box] {
                if (QPushButton* button = box->defaultButton())
                    button->click();
                else
                    box->close();
            });
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void InstallStartUpProbe(QWidget* window)
{
    window->installEventFilter(new TFirstPaint(window));
}

void InstallStartUpMessageProbe()
{
    qApp->installEventFilter(new TMessageShown(qApp));
}
