#include "urlfetch.h"

#include "cachepath.h"
#include "curllibrary.h"
#include "partialfile.h"

#include <QFile>
#include <QUrl>
#include <algorithm>

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

int UrlFetch::Fetch(const QString &ftpFilePath, const QString &localFolder) const
{
    const QString localPath = CachePath(localFolder, ftpFilePath);
    if (localPath.isEmpty()) {
        std::fprintf(stderr, "refused to store %s outside %s\n", qUtf8Printable(ftpFilePath),
                     qUtf8Printable(localFolder));
        return CURLE_WRITE_ERROR;
    }
    FetchTarget target;
    target.fileName = QFile::encodeName(PartialPath(localPath)).toStdString();
    const QByteArray url = Url(ftpFilePath).toLatin1();

    const CurlLibrary &api = curlLibrary();
    if (!api.problem.isEmpty()) {
        std::fprintf(stderr, "libcurl cannot be used: %s\n", qUtf8Printable(api.problem));
        return -1;
    }
    api.global_init(CURL_GLOBAL_DEFAULT);
    int result = -1;
    if (CURL *curl = api.easy_init()) {
        api.easy_setopt(curl, CURLOPT_URL, url.constData());
        api.easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
        api.easy_setopt(curl, CURLOPT_WRITEDATA, &target);
        api.easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        // Bounded waits: the caller is the GUI thread.
        const long stallSeconds = std::max(1L, (server.stallTimeoutMs + 999L) / 1000L);
        api.easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        api.easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                        static_cast<long>(server.connectTimeoutMs));
        api.easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, stallSeconds);
        api.easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        api.easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallSeconds);
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
        std::fprintf(stderr, "curl told us %d\n", result);
    api.global_cleanup();
    return result;
}
