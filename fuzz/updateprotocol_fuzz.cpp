// The updater's reply dispatch while a flash runs. Each input makes a real window on
// a device that never answers by itself, loads an image through the real file dialog,
// presses start, and then plays the input: 20-byte reports with report id 0x80 sent
// to the window as its reader would, and ticks of the update session's three timers,
// in any order, also while a message box is open (timers keep firing in a box's event
// loop). The device checks every command it
// gets against the image: packets in order and from the image, end commands only
// after the last packet, each handshake once, completion only after the ARM end.
//
// Input: byte 0 and 1 give the DSP and ARM lengths in packets (1 to 64); then ops:
//   op & 7 == 0, 6, 7   a report: 0x80 and the next 19 bytes
//   op & 7 == 1         the open message box closes (its first button)
//   op & 7 == 2, 3, 4   the DSP, ARM or watchdog timer fires n times (n from op >> 3)
//   op & 7 == 5         a canned event (op >> 3) % 8: U, V, T, T in class 0F, Y,
//                       version reply, the device refuses writes, accepts them again
// Only running timers fire, and none while its own slot runs; the real timers are held
// back, so that runs repeat exactly.

#include <emulator/emulatedbackend.h>
#include <flash/firmwareimage.h>
#include <flash/usbevent.h>
#include <gauges/progressbarcolor.h>
#include <updater/mainwindow.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTimerEvent>
#include <QToolButton>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "updateprotocol: %s\n", what);
    std::abort();
}

constexpr int MaxTicksPerInput = 60000;
// FUZZ_TRACE=1 prints the commands the device gets and the boxes shown, to read a
// crashing input's story.
const bool tracing = qEnvironmentVariableIsSet("FUZZ_TRACE");
constexpr int BoxDepth = 4; // message boxes open inside one another at most

// The device: takes every feature report, answers nothing, and checks each command
// against the image being flashed.
class CheckingDevice : public hidplatform::VirtualDevice
{
public:
    void expect(const QByteArray &file, int dspPackets, int armPackets)
    {
        image = file;
        dspTotal = dspPackets;
        armTotal = armPackets;
        refusing = false;
        enterUpdates = dspHandshakes = dspSent = dspEnds = 0;
        armHandshakes = armSent = armEnds = 0;
    }
    bool armEndReceived() const { return armEnds == 1; }
    bool refusing = false;

    hidplatform::DeviceInfo info() const override
    {
        hidplatform::DeviceInfo info;
        info.path = "\\\\?\\hid#vid_0483&pid_0526#fuzz#{4d1e55b2-f16f-11cf-88cb-001111000030}";
        info.vendorId = 0x0483;
        info.productId = 0x0526;
        return info;
    }
    hidplatform::Caps caps() const override
    {
        hidplatform::Caps caps;
        caps.inputReportByteLength = 20;
        caps.featureReportByteLength = 64;
        return caps;
    }
    bool acceptsOpen(bool) const override { return true; }
    bool onFeature(const std::uint8_t *c, std::size_t length) override
    {
        if (length != 64 || c[0] != 0x80)
            fail("a feature report without report id 0x80");
        if (tracing)
            std::fprintf(stderr, "device: %02x %02x %02x%s\n", c[1], c[2], c[3],
                         refusing ? " (refused)" : "");
        if (refusing)
            return false;
        const auto command = [c](int b1, int b2, int b3) {
            return c[1] == b1 && c[2] == b2 && c[3] == b3;
        };
        if (command(0x03, 0x01, 0x00)) {
            // The version query; harmless at any time.
        } else if (command(0x0C, 0x54, 0x02)) {
            once(enterUpdates, "enter update sent twice");
        } else if (command(0x0C, 0x23, 0x01)) {
            if (enterUpdates == 0)
                fail("DSP handshake before enter update");
            once(dspHandshakes, "DSP handshake sent twice");
        } else if (c[1] == 0x0D) {
            if (dspHandshakes == 0)
                fail("DSP packet before the DSP handshake");
            packet(c, dspSent++, dspTotal, 16, "DSP");
        } else if (command(0x0C, 0x21, 0x03)) {
            if (dspSent != dspTotal)
                fail("DSP end before the last DSP packet");
            once(dspEnds, "DSP end sent twice");
        } else if (command(0x0F, 0x25, 0x01)) {
            if (dspEnds == 0)
                fail("ARM handshake before DSP end");
            once(armHandshakes, "ARM handshake sent twice");
        } else if (c[1] == 0x0E) {
            if (armHandshakes == 0)
                fail("ARM packet before the ARM handshake");
            packet(c, armSent++, armTotal, 16 + 8 * dspTotal, "ARM");
        } else if (command(0x0F, 0x10, 0x03)) {
            if (armSent != armTotal)
                fail("ARM end before the last ARM packet");
            once(armEnds, "ARM end sent twice");
        } else {
            fail("a command the updater does not have");
        }
        for (std::size_t i = 11; i < length; ++i) {
            if (c[i] != 0)
                fail("a feature report not zero after its command");
        }
        return true;
    }

private:
    static void once(int &count, const char *what)
    {
        if (++count > 1)
            fail(what);
    }
    void packet(const std::uint8_t *c, int index, int total, int start, const char *stage)
    {
        if (index >= total) {
            std::fprintf(stderr, "updateprotocol: %s packet %d of %d\n", stage, index, total);
            fail("a packet past the end of its image");
        }
        const int at = start + 8 * index;
        if (std::memcmp(c + 2, image.constData() + at, 8) != 0 || c[10] != 0)
            fail("a packet that is not the next 8 bytes of its image");
    }

    QByteArray image;
    int dspTotal = 0;
    int armTotal = 0;
    int enterUpdates = 0;
    int dspHandshakes = 0;
    int dspSent = 0;
    int dspEnds = 0;
    int armHandshakes = 0;
    int armSent = 0;
    int armEnds = 0;
};

hidplatform::EmulatedBackend *backend = nullptr;
CheckingDevice *device = nullptr;
QTemporaryDir *scratch = nullptr;

// Qt's warnings (the offscreen platform has a few per window) only when tracing.
void quietMessages(QtMsgType, const QMessageLogContext &, const QString &text)
{
    if (tracing)
        std::fprintf(stderr, "qt: %s\n", qUtf8Printable(text));
}

class FuzzWindow : public updater::MainWindow
{
public:
    FuzzWindow() : MainWindow(*backend) {}
    int exits = 0;

protected:
    void endProcess(int code) override
    {
        if (code != 0 || !device->armEndReceived())
            fail("the process ended before the ARM end went out");
        if (++exits > 1)
            fail("the process ended twice");
        if (tracing)
            std::fprintf(stderr, "process ends with 0\n");
    }
};

// Lets through only the timer events this harness sends.
class TickGate : public QObject
{
public:
    QEvent *allowed = nullptr;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        return event->type() == QEvent::Timer && event != allowed;
    }
};

// One input being played.
class Player
{
public:
    Player(const std::uint8_t *data, std::size_t size) : data(data), size(size) {}

    FuzzWindow *window = nullptr;
    std::array<QTimer *, 3> timers{};
    TickGate gate;
    QString imagePath;
    int depth = 0;

    bool finished() const { return at >= size || window->exits > 0; }
    bool nextIsClose() const { return at < size && (data[at] & 7) == 1; }

    // Plays one op.
    void step()
    {
        const std::uint8_t op = data[at++];
        switch (op & 7) {
        case 1:
            return; // a box to close is handled by the box's hand; here there is none
        case 2:
        case 3:
        case 4: {
            static const int many[] = {50, 100, 250, 500, 1000, 2499, 2500, 5000};
            const int c = op >> 3;
            tick(std::size_t((op & 7) - 2), c < 24 ? c + 1 : many[c - 24]);
            return;
        }
        case 5:
            canned((op >> 3) % 8);
            return;
        default: {
            QByteArray report(reportlengths::Input, '\0');
            report[0] = char(0x80);
            for (int i = 1; i < reportlengths::Input && at < size; ++i)
                report[i] = char(data[at++]);
            send(report);
            return;
        }
        }
    }

    void send(const QByteArray &report)
    {
        USBEvent event(report);
        QCoreApplication::sendEvent(window, &event);
    }

private:
    // As Qt's event dispatchers do, a timer whose slot is still running (a box opened
    // from it is open) does not fire again until that slot returns.
    void tick(std::size_t which, int times)
    {
        QTimer *timer = timers[which];
        if (firing[which])
            return;
        firing[which] = true;
        for (int i = 0; i < times && timer->isActive() && ticks < MaxTicksPerInput; ++i) {
            ++ticks;
            QTimerEvent event(timer->timerId());
            gate.allowed = &event;
            QCoreApplication::sendEvent(timer, &event);
            gate.allowed = nullptr;
            if (window->exits > 0)
                break;
        }
        firing[which] = false;
    }
    void canned(int which)
    {
        static const std::uint8_t replies[6][3] = {{0x0C, 0x55}, {0x0C, 0x56}, {0x0C, 0x54},
                                                   {0x0F, 0x54}, {0x0C, 0x59}, {0x0A}};
        if (which == 6 || which == 7) {
            device->refusing = which == 6;
            return;
        }
        QByteArray report(reportlengths::Input, '\0');
        report[0] = char(0x80);
        report[1] = char(replies[which][0]);
        report[2] = char(replies[which][1]);
        if (which == 5) {
            report[6] = char(0xE2); // 1250
            report[7] = char(0x04);
        }
        send(report);
    }

    const std::uint8_t *data;
    std::size_t size;
    std::size_t at = 2;
    int ticks = 0;
    std::array<bool, 3> firing{};
};

Player *player = nullptr;

// Answers each modal window once. The file dialog gets the image as it shows, before
// it is painted (the answer is queued ahead of its first paint). A message box is
// answered from a zero-interval timer inside its event loop: the input plays on until
// a close op, then the box's first button is clicked. One timer per level of nested
// boxes, as a timer does not fire again while its own slot runs.
class Hands : public QObject
{
public:
    Hands()
    {
        for (QTimer &timer : timers) {
            timer.setInterval(0);
            connect(&timer, &QTimer::timeout, this, [this] { answerBox(); });
            timer.start();
        }
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        auto *dialog = qobject_cast<QFileDialog *>(object);
        if (event->type() != QEvent::Show || !dialog || !player)
            return false;
        dialog->setProperty("answered", true);
        dialog->selectFile(player->imagePath);
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->setText(player->imagePath);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        return false;
    }

private:
    void answerBox()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !player || modal->property("answered").toBool())
            return;
        modal->setProperty("answered", true);
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            fail("a modal window that is neither the file dialog nor a message box");
        if (tracing)
            std::fprintf(stderr, "box: %s\n", qUtf8Printable(box->text()));
        // The deepest hand plays nothing: a box opened now would find no hand free.
        if (++player->depth < BoxDepth) {
            while (!player->finished() && !player->nextIsClose())
                player->step();
            if (player->nextIsClose())
                player->step();
        }
        --player->depth;
        box->buttons().first()->click();
    }

    std::array<QTimer, BoxDepth> timers;
};

// Makes the window, brings it to a running flash and plays the input's ops.
void playInput(const QByteArray &file, Player &play)
{
    FuzzWindow window;
    play.window = &window;
    player = &play;
    // The device's version, the file through the dialog, then the start button.
    QByteArray version(reportlengths::Input, '\0');
    version[0] = char(0x80);
    version[1] = 0x0A;
    version[6] = char(0xE2);
    version[7] = 0x04;
    play.send(version);
    window.findChild<QToolButton *>(QStringLiteral("TBFlush"))->click();
    auto *start = window.findChild<QToolButton *>(QStringLiteral("toolButton_2"));
    if (!start->isEnabled())
        fail("the image did not pass the file check");

    // The protocol's timers in the order the session makes them: DSP, ARM, watchdog.
    int found = 0;
    auto *session = window.findChild<flash::UpdateSession *>();
    if (!session)
        fail("the window has no update session");
    for (QTimer *timer : session->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly)) {
        const int wanted = found < 2 ? 2 : 1000;
        if (timer->interval() != wanted || found == 3)
            continue;
        timer->installEventFilter(&play.gate);
        play.timers[std::size_t(found++)] = timer;
    }
    if (found != 3)
        fail("the session's three protocol timers were not found");
    start->click();

    auto *bar = window.findChild<ProgressBarColor *>(QStringLiteral("progressBarColor"));
    while (!play.finished()) {
        play.step();
        // The window opens its boxes from the event loop, after the tick that
        // reported: here is where they open.
        QCoreApplication::sendPostedEvents();
        if (bar->getValue() < 0 || bar->getValue() > file.size() - 8)
            fail("the progress bar left the file");
    }
}

} // namespace

// Outside any namespace and outside extern "C", as the resource's init function is.
static void initResources()
{
    Q_INIT_RESOURCE(updater);
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    // Kept for the whole run and never torn down: the offscreen platform leaves its
    // screen behind when the application object goes.
    static QApplication *app = new QApplication(*argc, *argv);
    Q_UNUSED(app);
    initResources();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    backend = new hidplatform::EmulatedBackend;
    device = new CheckingDevice;
    backend->attach(device);
    scratch = new QTemporaryDir;
    if (!scratch->isValid())
        fail("no temporary folder");
    static Hands hands;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int dspPackets = 1 + data[0] % 64;
    const int armPackets = 1 + data[1] % 64;
    QByteArray dsp(dspPackets * 8, '\0');
    QByteArray arm(armPackets * 8, '\0');
    for (int i = 0; i < dsp.size(); ++i)
        dsp[i] = char(i * 7 + 3);
    for (int i = 0; i < arm.size(); ++i)
        arm[i] = char(i * 13 + 101);
    const QByteArray file = firmware::pack(dsp, arm, 1250, '\0');
    device->expect(file, dspPackets, armPackets);

    Player play(data, size);
    play.imagePath = scratch->filePath(QStringLiteral("image.fw"));
    {
        QFile out(play.imagePath);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(file) != file.size())
            fail("cannot write the image");
    }

    playInput(file, play);
    player = nullptr;
    // What the window left posted (deferred deletes, its dialog's leftovers) goes now.
    QCoreApplication::processEvents();
    return 0;
}
