#include <updater/online/urlfetch.h>

#include <updater/online/cachepath.h>
#include <updater/online/curllibrary.h>
#include <updater/online/onlinelog.h>
#include <updater/online/partialfile.h>
#include <updater/online/transfercontrol.h>

#include <QFile>
#include <QUrl>
#include <algorithm>

namespace {

struct ProgressTarget
{
    TransferControl *control = nullptr;
    curl_off_t reported = -1;
};

// libcurl calls this at least once a second, data or not: the cancel request is seen
// even while the server is silent.
int TransferInfo(void *target, curl_off_t expected, curl_off_t received, curl_off_t, curl_off_t)
{
    auto *progress = static_cast<ProgressTarget *>(target);
    if (!progress->control)
        return 0;
    if (progress->control->cancelled)
        return 1;
    if (received != progress->reported) {
        progress->reported = received;
        progress->control->report(received, expected);
    }
    return 0;
}

// libcurl's verbose trace, in its own "* ", "< ", "> " form, to the log instead of stderr.
int Trace(CURL *, curl_infotype type, char *data, std::size_t size, void *)
{
    const char *mark = nullptr;
    switch (type) {
    case CURLINFO_TEXT:
        mark = "*";
        break;
    case CURLINFO_HEADER_IN:
        mark = "<";
        break;
    case CURLINFO_HEADER_OUT:
        mark = ">";
        break;
    case CURLINFO_DATA_IN:
    case CURLINFO_DATA_OUT:
        qCDebug(lcFtpData, "%s %zu bytes", type == CURLINFO_DATA_IN ? "<=" : "=>", size);
        return 0;
    default:
        return 0;
    }
    if (!lcFtp().isDebugEnabled())
        return 0;
    const QByteArray text(data, static_cast<int>(size));
    for (const QByteArray &line : text.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            qCDebug(lcFtp, "%s %s", mark, trimmed.constData());
    }
    return 0;
}

} // namespace

std::size_t WriteToFile(void *data, std::size_t size, std::size_t count, void *target)
{
    auto *fetchTarget = static_cast<FetchTarget *>(target);
    if (!fetchTarget->file) {
        fetchTarget->file = std::fopen(fetchTarget->fileName.c_str(), "wb");
        if (!fetchTarget->file)
            return static_cast<std::size_t>(-1);
    }
    return std::fwrite(data, 1, size * count, fetchTarget->file);
}

UrlFetch::UrlFetch(const UpdateServer &updateServer) : server(updateServer) {}

QString UrlFetch::Url(const QString &ftpFilePath) const
{
    return QStringLiteral("ftp://%1:%2@%3:%4/%5")
        .arg(server.user, server.password, server.host)
        .arg(server.port)
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(ftpFilePath, "/")));
}

int UrlFetch::Fetch(const QString &ftpFilePath, const QString &localFolder,
                    TransferControl *control) const
{
    const QString localPath = CachePath(localFolder, ftpFilePath);
    if (localPath.isEmpty()) {
        qCWarning(lcFtp, "refused to store %s outside %s", qUtf8Printable(ftpFilePath),
                  qUtf8Printable(localFolder));
        return CURLE_WRITE_ERROR;
    }
    FetchTarget target;
    target.fileName = QFile::encodeName(PartialPath(localPath)).toStdString();
    const QByteArray url = Url(ftpFilePath).toLatin1();

    ProgressTarget progress;
    progress.control = control;

    const CurlLibrary &api = curlLibrary();
    if (!api.problem.isEmpty()) {
        qCWarning(lcFtp, "libcurl cannot be used: %s", qUtf8Printable(api.problem));
        return -1;
    }
    api.global_init(CURL_GLOBAL_DEFAULT);
    int result = -1;
    if (CURL *curl = api.easy_init()) {
        api.easy_setopt(curl, CURLOPT_URL, url.constData());
        api.easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
        api.easy_setopt(curl, CURLOPT_WRITEDATA, &target);
        api.easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        api.easy_setopt(curl, CURLOPT_DEBUGFUNCTION, Trace);
        // Bounded waits: a silent server, or one below the throughput floor, ends the fetch.
        const long stallSeconds = std::max(1L, (server.stallTimeoutMs + 999L) / 1000L);
        const long floorSeconds = std::max(1L, (server.floorWindowMs + 999L) / 1000L);
        api.easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        api.easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                        static_cast<long>(server.connectTimeoutMs));
        api.easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, stallSeconds);
        api.easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT,
                        std::max(1L, static_cast<long>(server.floorBytesPerSecond)));
        api.easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, std::min(stallSeconds, floorSeconds));
        api.easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        api.easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, TransferInfo);
        api.easy_setopt(curl, CURLOPT_XFERINFODATA, &progress);
        result = api.easy_perform(curl);
        api.easy_cleanup(curl);
    }
    if (target.file) {
        if (std::fclose(target.file) != 0 && result == CURLE_OK)
            result = CURLE_WRITE_ERROR;
        if (result == CURLE_OK && !CommitPartial(localPath))
            result = CURLE_WRITE_ERROR;
        if (result != CURLE_OK)
            DiscardPartial(localPath);
    }
    if (result > 0)
        qCDebug(lcFtp, "curl told us %d", result);
    api.global_cleanup();
    return result;
}
