#pragma once
// One `fwtool flash` on the device's side: finds the device (following arrivals while
// --wait lasts), asks for its version, judges the file with the updater's own checks
// and drives the updater's own UpdateSession. Tells its progress and, once, how it
// ended.

#include <flash/firmwareimage.h>
#include <fwtool/flashreport.h>
#include <hidlink/platform/hidplatform.h>

#include <QElapsedTimer>
#include <QObject>

class QTimer;
namespace flash {
class DeviceConnection;
class UpdateSession;
} // namespace flash

namespace fwtool {

struct FlashRequest
{
    QString path;
    firmware::Image image;
    firmware::LoadError loadError = firmware::LoadError::None;
    bool allowOlder = false;
    int waitSeconds = 0;
    std::string devicePath;   // empty: the first matching device
    bool skipCurrent = false; // a device already at the file's version is left alone
};

class FlashRun : public QObject
{
    Q_OBJECT
public:
    FlashRun(hidplatform::Backend &backend, const FlashRequest &request, int productId,
             QObject *parent = nullptr);
    ~FlashRun() override;

    static constexpr int VersionReplyMs = 3000;

    // Looks for the device; `finished` follows from the event loop, once.
    void start();
    // Ctrl+C: every timer of the update stops at once, so no further packet goes out.
    void interrupt();

signals:
    void progress(const fwtool::FlashProgress &progress);
    // Something the user should know while the run goes on.
    void note(const QString &text);
    void finished(const fwtool::FlashSummary &summary);

private:
    enum class Phase
    {
        LookingForDevice,
        AskingVersion,
        Updating,
        Done
    };

    void openDevice();
    void askVersion();
    void onArrival();
    void onRemoval();
    void onRefusedWrite(int refusal);
    void onVersion(const QByteArray &report);
    void onDeadline();
    void finish(FlashOutcome outcome, const QString &message, int errorNumber = 0);
    // The device was never written: the file does not suit it, or another program has it.
    void skip(FlashOutcome outcome, const QString &message);
    QString deviceName() const;

    const FlashRequest request;
    flash::DeviceConnection *connection;
    flash::UpdateSession *session;
    QTimer *deadline;
    QElapsedTimer clock;
    Phase phase = Phase::LookingForDevice;
    FlashSummary summary;
};

} // namespace fwtool
