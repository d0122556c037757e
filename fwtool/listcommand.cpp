#include <fwtool/listcommand.h>

#include <flash/bootprotocol.h>
#include <flash/deviceconnection.h>
#include <flash/updatesession.h>
#include <fwtool/flashrun.h>
#include <fwtool/toolbackend.h>
#include <hidlink/deviceids.h>

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <memory>
#include <optional>

namespace fwtool {

namespace {

constexpr int NoDeviceExit = 4; // as `fwtool flash` says it

struct Entry
{
    std::string path;
    bool busy = false;
    std::optional<quint16> version;
    // Asks the device; replies come through the session, which only reads.
    std::unique_ptr<flash::DeviceConnection> connection;
    std::unique_ptr<flash::UpdateSession> session;
};

} // namespace

void defineList(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        "Lists every matching device: its path, its firmware version (\"no reply\" when it "
        "does not answer within 3 s) and whether another program is updating it. Exit code "
        "4 when there is none.");
    parser.addPositionalArgument("list", "This command.", "list");
    parser.addOptions({{"json", "Print one JSON array of objects: path, version (null without "
                                "a reply), busy."}});
}

int runList(const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    hidplatform::Backend &backend = toolBackend();
    std::vector<Entry> entries;
    const std::vector<std::string> paths = matchingDevices(backend, deviceids::ProductId);
    entries.resize(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i)
        entries[i].path = paths[i];

    // Every device is asked at once, so the list takes one time-out at most.
    QEventLoop loop;
    int waiting = 0;
    for (Entry &entry : entries) {
        entry.connection = std::make_unique<flash::DeviceConnection>(backend, deviceids::VendorId,
                                                                     deviceids::ProductId);
        entry.session = std::make_unique<flash::UpdateSession>(*entry.connection);
        entry.connection->bindTo(entry.path);
        entry.connection->setListener(entry.session.get());
        if (entry.connection->open() != 0)
            continue; // gone since the enumeration: "no reply"
        entry.busy = entry.connection->updateLockedElsewhere();
        if (entry.busy)
            continue; // the query would be refused; its bootloader would not answer it
        ++waiting;
        QObject::connect(entry.session.get(), &flash::UpdateSession::versionReceived, &loop,
                         [&entry, &waiting, &loop](const QByteArray &report) {
                             if (entry.version)
                                 return;
                             entry.version = bootprotocol::versionOf(report);
                             if (--waiting == 0)
                                 loop.quit();
                         });
        entry.session->sendVersionQuery();
    }
    if (waiting > 0) {
        QTimer::singleShot(FlashRun::VersionReplyMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    for (Entry &entry : entries)
        entry.connection->closeReading();

    if (parser.isSet("json")) {
        QJsonArray array;
        for (const Entry &entry : entries)
            array.append(
                QJsonObject{{"path", QString::fromStdString(entry.path)},
                            {"version", entry.version ? QJsonValue(*entry.version) : QJsonValue()},
                            {"busy", entry.busy}});
        out << QJsonDocument(array).toJson(QJsonDocument::Compact) << '\n';
    } else {
        for (const Entry &entry : entries) {
            const QString state = entry.busy ? QStringLiteral("being updated by another program")
                                  : entry.version ? QStringLiteral("version %1").arg(*entry.version)
                                                  : QStringLiteral("no reply");
            out << QString::fromStdString(entry.path) << "  " << state << '\n';
        }
    }
    out.flush();
    if (entries.empty()) {
        err << "fwtool: no device found\n";
        return NoDeviceExit;
    }
    return 0;
}

} // namespace fwtool
