#pragma once
// The updater's window under test: its process exit is recorded instead of made, and
// it talks to the fixture's emulated backend.

#include "modalhand.h"
#include "testsupport.h"
#include <emulator/emulatedbackend.h>
#include <updater/mainwindow.h>

#include <QLocale>

// The device's pace, but failures come sooner: a stage gives up after 75 ticks, the
// watchdog after ten of its 15 ms ticks; the version is asked for at once.
const flash::Timing Hasty{2, 75, 15, 10, 0};

class TestWindow : public updater::MainWindow
{
public:
    explicit TestWindow(hidplatform::Backend &backend,
                        const flash::Timing &timing = flash::Timing())
        : MainWindow(backend, nullptr, timing)
    {
    }
    int exitCode = -1;

protected:
    void endProcess(int code) override { exitCode = code; }
};

class WindowTest : public QObject
{
    Q_OBJECT
protected:
    hidplatform::EmulatedBackend backend;

private slots:
    void initTestCase() { Q_INIT_RESOURCE(updater); }
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};
