// Linked into the start-up benchmark's two programs (the updater's own main, and a
// bare QMainWindow program): once the program's main window has painted its first
// frame, writes "shown" to standard output and quits the event loop, so that the
// program ends as through its close button. Nothing of this is in the updater itself.

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

namespace {

class FirstFrame : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!done && event->type() == QEvent::Paint && qobject_cast<QMainWindow *>(watched)) {
            done = true;
            // After the whole window has painted, not at its first widget.
            QTimer::singleShot(0, [] {
                std::fputs("shown\n", stdout);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    bool done = false;
};

void watchFirstFrame()
{
    QCoreApplication *app = QCoreApplication::instance();
    app->installEventFilter(new FirstFrame(app));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(watchFirstFrame)
