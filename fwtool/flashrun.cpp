#include <fwtool/flashrun.h>

#include <flash/deviceconnection.h>
#include <flash/errormeanings.h>
#include <flash/updatemessages.h>
#include <flash/updatesession.h>
#include <hidlink/deviceids.h>

#include <QTimer>

namespace fwtool {

FlashRun::FlashRun(hidplatform::Backend &backend, const FlashRequest &request, int productId,
                   QObject *parent)
    : QObject(parent), request(request),
      connection(new flash::DeviceConnection(backend, deviceids::VendorId, productId, this)),
      session(new flash::UpdateSession(*connection, flash::Timing(), this)),
      deadline(new QTimer(this))
{
    // Made before the first search, so that an arrival right after it is not missed.
    connection->setListener(session);
    connect(connection, &flash::DeviceConnection::arrived, this, &FlashRun::onArrival);
    connect(connection, &flash::DeviceConnection::removed, this, &FlashRun::onRemoval);
    deadline->setSingleShot(true);
    // A coarse timer may end a wait up to 5 % early.
    deadline->setTimerType(Qt::PreciseTimer);
    connect(deadline, &QTimer::timeout, this, &FlashRun::onDeadline);
    connect(session, &flash::UpdateSession::versionReceived, this, &FlashRun::onVersion);
    connect(session, &flash::UpdateSession::progress, this, [this](qint64 offset) {
        const FlashProgress now =
            progressAt(offset, this->request.image.dspEnd, this->request.image.data.size(),
                       clock.elapsed() / 1000.0);
        summary.bytes = now.sent;
        emit progress(now);
    });
    connect(session, &flash::UpdateSession::failed, this, [this](int number) {
        finish(FlashOutcome::UpdateError,
               QStringLiteral("%1 (after %2 of %3 bytes)")
                   .arg(flash::errorMessage(number).english + QStringLiteral(": ") +
                        flash::errorCause(number).english)
                   .arg(summary.bytes)
                   .arg(this->request.image.data.size() - firmware::HeaderSize),
               number);
    });
    connect(session, &flash::UpdateSession::completed, this, [this] {
        finish(FlashOutcome::Complete, QStringLiteral("Update Complete! %1 bytes in %2 s")
                                           .arg(summary.bytes)
                                           .arg(clock.elapsed() / 1000.0, 0, 'f', 1));
    });
    connect(session, &flash::UpdateSession::writeRefused, this, &FlashRun::onRefusedWrite);
    if (request.image.headerComplete)
        summary.fileVersion = request.image.fileVersion;
    if (!request.devicePath.empty())
        connection->bindTo(request.devicePath);
}

FlashRun::~FlashRun()
{
    session->stop();
    connection->closeReading();
}

QString FlashRun::deviceName() const
{
    const HidLink &link = connection->link();
    if (!request.devicePath.empty())
        return QString::fromStdString(request.devicePath);
    return QStringLiteral("vendor %1, product %2").arg(link.vendorIdText, link.productIdText);
}

void FlashRun::start()
{
    openDevice();
    if (phase != Phase::LookingForDevice)
        return;
    if (request.waitSeconds <= 0) {
        finish(FlashOutcome::NoDevice, QStringLiteral("no device found (%1)").arg(deviceName()));
        return;
    }
    deadline->start(request.waitSeconds * 1000);
#ifdef _WIN32
    // Windows tells only windows of arrivals: a console program looks again instead.
    auto *rescan = new QTimer(this);
    connect(rescan, &QTimer::timeout, this, [this, rescan] {
        if (phase == Phase::LookingForDevice)
            openDevice();
        else
            rescan->stop();
    });
    rescan->start(1000);
#endif
}

void FlashRun::openDevice()
{
    if (connection->open() == 0)
        askVersion();
}

void FlashRun::askVersion()
{
    if (connection->updateLockedElsewhere()) {
        skip(FlashOutcome::NoDevice, flash::deviceBusyMessage().english);
        return;
    }
    phase = Phase::AskingVersion;
    deadline->start(VersionReplyMs);
    session->sendVersionQuery();
}

void FlashRun::onArrival()
{
    // The connection has opened the device again; only a run still looking asks it.
    if (phase == Phase::LookingForDevice && connection->link().deviceFound())
        askVersion();
}

void FlashRun::onRemoval()
{
    if (phase == Phase::Updating)
        emit note(QStringLiteral("the device was removed"));
}

void FlashRun::onRefusedWrite(int refusal)
{
    const bool notFound = HidLink::Refusal(refusal) == HidLink::Refusal::DeviceNotFound;
    finish(FlashOutcome::NoDevice, QStringLiteral("%1 (%2)")
                                       .arg(notFound ? QStringLiteral("Equipment not found")
                                                     : QStringLiteral("Failed to open device"))
                                       .arg(deviceName()));
}

void FlashRun::onDeadline()
{
    if (phase == Phase::LookingForDevice)
        finish(FlashOutcome::NoDevice, QStringLiteral("no device found within %1 s (%2)")
                                           .arg(request.waitSeconds)
                                           .arg(deviceName()));
    else if (phase == Phase::AskingVersion)
        finish(FlashOutcome::NoDevice,
               QStringLiteral("the device gave no version reply within %1 s (%2)")
                   .arg(VersionReplyMs / 1000)
                   .arg(deviceName()));
}

void FlashRun::onVersion(const QByteArray &report)
{
    if (phase != Phase::AskingVersion)
        return;
    deadline->stop();
    const quint16 device = bootprotocol::versionOf(report);
    summary.deviceVersion = device;

    // The window's decision on a chosen file, asked the same way.
    const firmware::Image &image = request.image;
    const int opened = firmware::openCode(request.loadError, image, device);
    const int family =
        firmware::versionCheck(connection->link().productId, device, image.fileVersion);
    const firmware::Verdict verdict = firmware::judge(true, opened, family);
    const QString tip = firmware::tipFor(verdict).english.simplified();
    if (!firmware::accepted(verdict)) {
        skip(FlashOutcome::Refused, QStringLiteral("%1: %2").arg(request.path, tip));
        return;
    }
    if (request.skipCurrent && image.fileVersion == device) {
        skip(FlashOutcome::AlreadyCurrent, QStringLiteral("already at version %1").arg(device));
        return;
    }
    if (verdict == firmware::Verdict::LowerVersion) {
        const QString versions =
            QStringLiteral("file %1, device %2").arg(image.fileVersion).arg(device);
        if (!request.allowOlder) {
            skip(FlashOutcome::OlderVersion,
                 QStringLiteral("%1 (%2); --allow-older flashes it anyway").arg(tip, versions));
            return;
        }
        emit note(QStringLiteral("%1 (%2); flashing it as --allow-older asks").arg(tip, versions));
    }
    if (session->packetsWouldBeCut()) {
        finish(FlashOutcome::NoDevice, QStringLiteral("%1 (its feature report has %2 bytes)")
                                           .arg(flash::packetsCutMessage().english)
                                           .arg(connection->link().caps().featureReportByteLength));
        return;
    }
    phase = Phase::Updating;
    clock.start();
    if (session->start(image.data, image.dspEnd) == flash::UpdateSession::StartResult::DeviceBusy)
        skip(FlashOutcome::NoDevice, flash::deviceBusyMessage().english);
}

void FlashRun::interrupt()
{
    if (phase == Phase::Updating)
        finish(FlashOutcome::Interrupted,
               QStringLiteral("interrupted after %1 of %2 bytes: the device is left in its "
                              "bootloader; flash it again to finish the update")
                   .arg(summary.bytes)
                   .arg(request.image.data.size() - firmware::HeaderSize));
    else
        finish(FlashOutcome::Interrupted,
               QStringLiteral("interrupted before the update started: the device is unchanged"));
}

void FlashRun::finish(FlashOutcome outcome, const QString &message, int errorNumber)
{
    if (phase == Phase::Done)
        return;
    phase = Phase::Done;
    session->stop();
    deadline->stop();
    summary.outcome = outcome;
    summary.errorNumber = errorNumber;
    summary.message = message;
    summary.seconds = clock.isValid() ? clock.elapsed() / 1000.0 : 0;
    summary.device = connection->link().deviceFound()
                         ? QString::fromStdString(connection->link().devicePath())
                         : QString::fromStdString(request.devicePath);
    emit finished(summary);
}

void FlashRun::skip(FlashOutcome outcome, const QString &message)
{
    summary.skipped = phase != Phase::Done;
    finish(outcome, message);
}

} // namespace fwtool
