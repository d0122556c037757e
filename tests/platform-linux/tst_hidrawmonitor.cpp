// The monitor's window on the Linux backend, against hidraw nodes with the emulated
// device behind them: reports in, the reader's pause and resume as udev announces
// the device going and coming, and the ruler's values out through HIDIOCSFEATURE.

#include "hidrawtestbed.h"
#include "mainwindow.h"
#include "progressbarcolor.h"
#include "sliderruler.h"
#include "usbthread.h"

#include <QLineEdit>
#include <QtTest>

namespace {

using emulator::EmulatedDevice;

const QString Lit = QStringLiteral("border-image: url(://LED1);");
const QString Unlit = QStringLiteral("border-image: url(://LED2);");

// The monitor's window, shown as the program shows it.
struct Panel
{
    MainWindow window;

    bool show()
    {
        // In the program's order: onInit again once the window has its size, before
        // the event loop runs.
        window.show();
        window.onInit();
        return QTest::qWaitForWindowExposed(&window);
    }
    template <typename T> T *child(const char *name) const
    {
        return window.findChild<T *>(QLatin1String(name));
    }
    SliderRuler *ruler() const { return child<SliderRuler>("Ruler"); }
    double bar() const { return child<ProgressBarColor>("Bar")->getValue(); }
    QString lamp(const char *name) const { return child<QWidget>(name)->styleSheet(); }
    monitor::USBThread *reader() const { return window.findChild<monitor::USBThread *>(); }
    QList<double> rulerValues() const
    {
        QList<double> v;
        for (int i = 0; i < 4; ++i)
            v << ruler()->getValue(i);
        return v;
    }
};

} // namespace

class TestHidrawMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!HidrawTestbed::preloaded())
            QSKIP(HidrawTestbed::NoPreload);
    }
    void cleanup() { QVERIFY(testbed.unplugAll()); }

    void removalPausesAndArrivalResumes();
    void reportsInAndValuesOut();

private:
    HidrawTestbed testbed;
};

void TestHidrawMonitor::removalPausesAndArrivalResumes()
{
    HidrawNode *first = testbed.plug();
    QVERIFY(first);
    Panel panel;
    monitor::USBThread *reader = panel.reader();
    QVERIFY(reader && reader->isRunning());
    first->model().sendReport(EmulatedDevice::statusReport(100, false, false));
    QTRY_COMPARE(panel.bar(), 100.0);

    // The device goes while the reader waits for a report: hidraw ends that read.
    first->fail();
    QTRY_VERIFY(first->failedReads() >= 1);
    // udev's removal pauses the reader: it stays, and reads nothing more.
    QVERIFY(testbed.unplug(first));
    QVERIFY(reader->isRunning());
    const int reads = first->reads();
    QTest::qWait(300);
    QCOMPARE(first->reads(), reads);

    // Plugged in again on a new node: the same reader resumes through the new handle.
    HidrawNode *second = testbed.plug();
    QVERIFY(second);
    QCOMPARE(panel.reader(), reader);
    QCOMPARE(panel.window.findChildren<monitor::USBThread *>().size(), 1);
    second->model().sendReport(EmulatedDevice::statusReport(2500, false, true));
    QTRY_COMPARE(panel.bar(), 2500.0);
    QTRY_COMPARE(panel.lamp("LED6"), Lit);
    // Arrival does not ask for the version.
    QVERIFY(second->featureReports().empty());
}

void TestHidrawMonitor::reportsInAndValuesOut()
{
    // Feature reports of 11 bytes, where nothing but the command fits.
    const std::size_t featureLength = 11;
    NodeConfig config;
    config.featureLength = featureLength;
    config.model.values = {100, 2000, 3000, 4000};
    HidrawNode *node = testbed.plug(config);
    QVERIFY(node);
    Panel panel;
    QVERIFY(panel.show());
    // The start-up version query is answered with a value report.
    QCOMPARE(node->featureReports(), std::vector<Bytes>{padded({0x80, 0x03, 0x01}, featureLength)});
    QTRY_COMPARE(panel.rulerValues(), (QList<double>{100, 2000, 3000, 4000}));
    node->model().sendReport(EmulatedDevice::statusReport(1500, true, false));
    QTRY_COMPARE(panel.bar(), 1500.0);
    QTRY_COMPARE(panel.lamp("LED5"), Lit);
    QCOMPARE(panel.lamp("LED6"), Unlit);

    QLineEdit *edit = panel.child<QLineEdit>("lineEditC");
    edit->clear();
    QTest::keyClicks(edit, "2222");
    QTest::keyClick(edit, Qt::Key_Return);
    // The set-values report (little-endian values), exactly as HIDIOCSFEATURE carried it.
    const Bytes setValues{0x80, 0x03, 0x02, 100, 0, 0xD0, 0x07, 0xAE, 0x08, 0xA0, 0x0F};
    const std::vector<Bytes> sent = node->featureReports();
    QCOMPARE(sent.size(), std::size_t(2));
    QCOMPARE(sent[1], padded(setValues, featureLength));
    QCOMPARE(node->model().values(), (std::array<std::uint16_t, 4>{{100, 2000, 2222, 4000}}));
    // The device answers with what it stored; a status report behind that answer
    // shows when it has been dealt with. The ruler goes on showing the values.
    node->model().sendReport(EmulatedDevice::statusReport(77, false, false));
    QTRY_COMPARE(panel.bar(), 77.0);
    QCOMPARE(panel.rulerValues(), (QList<double>{100, 2000, 2222, 4000}));
}

QTEST_MAIN(TestHidrawMonitor)
#include "tst_hidrawmonitor.moc"
