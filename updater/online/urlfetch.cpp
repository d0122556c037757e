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

// What the write callback writes to: the partial file of the download, created when the
// first data arrive (an empty server file leaves none), through Qt for wide paths.
struct FetchTarget
{
    const CurlLibrary *api = nullptr;
    CURL *curl = nullptr;
    QFile file;
    long long maxBytes = 0;
    long long written = 0;
};

// Returns the bytes taken; anything else makes libcurl end the transfer with a write error.
std::size_t WriteToFile(char *data, std::size_t size, std::size_t count, void *target)
{
    auto *fetch = static_cast<FetchTarget *>(target);
    const auto bytes = static_cast<long long>(size * count);
    // The size the server announced (SIZE, or the 150 reply) binds as much as our own bound:
    // a server that sends more is broken or hostile, and the disk is not its to fill.
    curl_off_t announced = -1;
    if (fetch->api->easy_getinfo(fetch->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) !=
            CURLE_OK ||
        announced < 0)
        announced = fetch->maxBytes;
    const long long limit = std::min<long long>(announced, fetch->maxBytes);
    if (fetch->written + bytes > limit) {
        qCWarning(lcFtp, "the server sent more than %lld bytes: transfer stopped", limit);
        return 0;
    }
    if (!fetch->file.isOpen() && !fetch->file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    if (fetch->file.write(data, bytes) != bytes)
        return 0;
    fetch->written += bytes;
    return size * count;
}

} // namespace

UrlFetch::UrlFetch(const UpdateServer &updateServer) : server(updateServer) {}

QString UrlFetch::Url(const QString &ftpFilePath) const
{
    return QStringLiteral("ftp://%1:%2@%3:%4/%5")
        .arg(server.user, server.password, server.host)
        .arg(server.port)
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(ftpFilePath, "/")));
}

int UrlFetch::Fetch(const QString &ftpFilePath, const QString &localFolder, long long maxBytes,
                    TransferControl *control) const
{
    const QString localPath = CachePath(localFolder, ftpFilePath);
    if (localPath.isEmpty()) {
        qCWarning(lcFtp, "refused to store %s outside %s", qUtf8Printable(ftpFilePath),
                  qUtf8Printable(localFolder));
        return CURLE_WRITE_ERROR;
    }
    FetchTarget target;
    target.file.setFileName(PartialPath(localPath));
    target.maxBytes = maxBytes;
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
        target.api = &api;
        target.curl = curl;
        api.easy_setopt(curl, CURLOPT_URL, url.constData());
        // Refused before the transfer when the server announces more.
        api.easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
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
    if (target.file.isOpen()) {
        if (!target.file.flush() && result == CURLE_OK)
            result = CURLE_WRITE_ERROR;
        target.file.close();
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
