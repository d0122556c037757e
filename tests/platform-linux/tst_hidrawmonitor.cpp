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

// `head` followed by zeros, `length` bytes in all.
Bytes padded(Bytes head, std::size_t length)
{
    head.resize(length, 0);
    return head;
}

// The monitor's window, shown as the program shows it.
struct Panel
{
    MainWindow window;

    bool show()
    {
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return false;
        // As the program does once the window has its size; painting lays out the grips.
        window.onInit();
        QCoreApplication::processEvents();
        return true;
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
    // Centre of a handle's grip, as the ruler lays it out.
    QPoint grip(int index) const
    {
        const int h = ruler()->height();
        const double gripTop = h * 0.5 - (h / 5) * 0.25 + h / 7;
        return QPoint(qRound(ruler()->handleX(index)), int(gripTop + (h / 6) / 2.0));
    }
};

// True when `node` sees no read for a while: its reader is paused.
bool readsHaveStopped(const HidrawNode &node)
{
    const int before = node.reads();
    QTest::qWait(300);
    return node.reads() == before;
}

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

    void reportsReachTheGauges();
    void removalPausesAndArrivalResumes();
    void rulerValuesGoOut_data();
    void rulerValuesGoOut();

private:
    HidrawTestbed testbed;
};

void TestHidrawMonitor::reportsReachTheGauges()
{
    NodeConfig config;
    config.model.values = {100, 2000, 3000, 4000};
    HidrawNode *node = testbed.plug(config);
    QVERIFY(node);
    Panel panel;
    // The start-up version query is answered with a value report.
    QCOMPARE(node->featureReports(), std::vector<Bytes>{padded({0x80, 0x03, 0x01}, 64)});
    QTRY_COMPARE(panel.rulerValues(), (QList<double>{100, 2000, 3000, 4000}));

    node->model().sendReport(EmulatedDevice::statusReport(1500, true, false));
    QTRY_COMPARE(panel.bar(), 1500.0);
    QTRY_COMPARE(panel.lamp("LED5"), Lit);
    QCOMPARE(panel.lamp("LED6"), Unlit);
    node->model().sendReport(EmulatedDevice::statusReport(3500, false, true));
    QTRY_COMPARE(panel.bar(), 3500.0);
    QTRY_COMPARE(panel.lamp("LED6"), Lit);
    QCOMPARE(panel.lamp("LED5"), Unlit);
    node->model().sendReport(EmulatedDevice::valueReport({5, 6, 7, 8}, 1250));
    QTRY_COMPARE(panel.rulerValues(), (QList<double>{5, 6, 7, 8}));
}

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
    QVERIFY(readsHaveStopped(*first));

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

void TestHidrawMonitor::rulerValuesGoOut_data()
{
    QTest::addColumn<bool>("typed"); // typed into handle 3's field, or handle 2 dragged
    QTest::addColumn<int>("featureLength");
    QTest::newRow("dragged, feature report of 64") << false << 64;
    QTest::newRow("typed, feature report of 64") << true << 64;
    QTest::newRow("dragged, feature report of 11") << false << 11;
    QTest::newRow("typed, feature report of 11") << true << 11;
}

void TestHidrawMonitor::rulerValuesGoOut()
{
    QFETCH(bool, typed);
    QFETCH(int, featureLength);
    NodeConfig config;
    config.featureLength = std::uint16_t(featureLength);
    HidrawNode *node = testbed.plug(config);
    QVERIFY(node);
    Panel panel;
    QVERIFY(panel.show());
    QTRY_COMPARE(panel.rulerValues(), (QList<double>{0, 1024, 3072, 4095}));
    SliderRuler *ruler = panel.ruler();

    std::array<std::uint16_t, 4> values{{0, 1024, 3072, 4095}};
    if (typed) {
        QLineEdit *edit = panel.child<QLineEdit>("lineEditC");
        edit->clear();
        QTest::keyClicks(edit, "2222");
        QTest::keyClick(edit, Qt::Key_Return);
        values[2] = 2222;
    } else {
        const QPoint grip = panel.grip(1);
        const int target = grip.x() + 60;
        QTest::mousePress(ruler, Qt::LeftButton, Qt::NoModifier, grip);
        QMouseEvent move(QEvent::MouseMove, QPoint(target, grip.y()),
                         ruler->mapToGlobal(QPoint(target, grip.y())), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(ruler, &move);
        QTest::mouseRelease(ruler, Qt::LeftButton, Qt::NoModifier, QPoint(target, grip.y()));
        values[1] = std::uint16_t(4096.0 * (target - 13) / (ruler->width() - 26));
    }

    // The set-values report, exactly as HIDIOCSFEATURE carried it.
    const Bytes setValues{0x80,
                          0x03,
                          0x02,
                          std::uint8_t(values[0] & 0xFF),
                          std::uint8_t(values[0] >> 8),
                          std::uint8_t(values[1] & 0xFF),
                          std::uint8_t(values[1] >> 8),
                          std::uint8_t(values[2] & 0xFF),
                          std::uint8_t(values[2] >> 8),
                          std::uint8_t(values[3] & 0xFF),
                          std::uint8_t(values[3] >> 8)};
    const std::vector<Bytes> sent = node->featureReports();
    QCOMPARE(sent.size(), std::size_t(2));
    QCOMPARE(sent[1], padded(setValues, std::size_t(featureLength)));
    QCOMPARE(node->model().values(), values);
    // The device answers with what it stored; a status report behind that answer
    // shows when it has been dealt with. The ruler goes on showing the values.
    node->model().sendReport(EmulatedDevice::statusReport(77, false, false));
    QTRY_COMPARE(panel.bar(), 77.0);
    QCOMPARE(panel.rulerValues(), (QList<double>{double(values[0]), double(values[1]),
                                                 double(values[2]), double(values[3])}));
}

QTEST_MAIN(TestHidrawMonitor)
#include "tst_hidrawmonitor.moc"
