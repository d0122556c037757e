#pragma once
// One `fwtool flash` on the device's side: finds the device (following arrivals while
// --wait lasts), asks for its version, judges the file with the updater's own checks
// and drives the updater's own UpdateSession. Tells its progress and, once, how it
// ended.

#include <flash/firmwareimage.h>
#include <fwtool/flashreport.h>
#include <hidlink/hidlink.h>

#include <QElapsedTimer>
#include <QObject>

class QTimer;
class USBThread;
namespace flash {
class UpdateSession;
}

namespace fwtool {

struct FlashRequest
{
    QString path;
    firmware::Image image;
    firmware::LoadError loadError = firmware::LoadError::None;
    bool allowOlder = false;
    int waitSeconds = 0;
};

class FlashRun : public QObject
{
    Q_OBJECT
public:
    FlashRun(const FlashRequest &request, int productId, QObject *parent = nullptr);
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

protected:
    void customEvent(QEvent *event) override;

private:
    enum class Phase
    {
        LookingForDevice,
        AskingVersion,
        Updating,
        Done
    };

    void openDevice();
    void onArrival(const QString &path);
    void onRemoval(const QString &path);
    void onVersion(const QByteArray &report);
    void onDeadline();
    void finish(FlashOutcome outcome, const QString &message, int errorNumber = 0);
    QString deviceName() const;

    const FlashRequest request;
    HidLink link;
    flash::UpdateSession *session;
    USBThread *reader = nullptr;
    QTimer *deadline;
    QElapsedTimer clock;
    Phase phase = Phase::LookingForDevice;
    FlashSummary summary;
};

} // namespace fwtool
