#pragma once
// One emulated device on its own backend and, unless told otherwise, the monitor's
// window over it: the set-up of the window and storm tests.

#include "emulateddevice.h"
#include "mainwindow.h"
#include "progressbarcolor.h"
#include "sliderruler.h"
#include "usbthread.h"

#include <QtTest>
#include <memory>

struct Rig
{
    hidplatform::EmulatedBackend backend;
    std::unique_ptr<emulator::EmulatedDevice> device;
    std::unique_ptr<MainWindow> window;

    explicit Rig(bool present, emulator::DeviceConfig config = {}, bool withWindow = true)
    {
        hidplatform::setBackend(&backend);
        device = std::make_unique<emulator::EmulatedDevice>(backend, config);
        if (present)
            device->attach();
        if (withWindow)
            window = std::make_unique<MainWindow>();
    }
    ~Rig()
    {
        window.reset();
        device.reset();
        hidplatform::setBackend(nullptr);
    }
    bool show()
    {
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return false;
        window->onInit();                  // as the program does once the window has its size
        QCoreApplication::processEvents(); // painted: the grips are laid out by painting
        return true;
    }
    template <typename T> T *child(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    SliderRuler *ruler() const { return child<SliderRuler>("Ruler"); }
    double bar() const { return child<ProgressBarColor>("Bar")->getValue(); }
    QStringList lamps() const
    {
        return {child<QWidget>("LED5")->styleSheet(), child<QWidget>("LED6")->styleSheet()};
    }
    monitor::USBThread *reader() const { return window->findChild<monitor::USBThread *>(); }
    int openReadHandles() const { return backend.openReadHandles(device.get()); }
    std::vector<std::vector<std::uint8_t>> received() const { return device->featureReports(); }
    QList<double> rulerValues() const
    {
        QList<double> v;
        for (int i = 0; i < 4; ++i)
            v << ruler()->getValue(i);
        return v;
    }
};
