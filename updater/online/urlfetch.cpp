#include "urlfetch.h"

#include "cachepath.h"
#include "partialfile.h"

#include <QFile>
#include <QUrl>
#include <algorithm>
#include <curl/curl.h>

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

    curl_global_init(CURL_GLOBAL_DEFAULT);
    int result = -1;
    if (CURL *curl = curl_easy_init()) {
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &target);
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        // Bounded waits: the caller is the GUI thread.
        const long stallSeconds = std::max(1L, (server.stallTimeoutMs + 999L) / 1000L);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(server.connectTimeoutMs));
        curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, stallSeconds);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallSeconds);
        result = curl_easy_perform(curl);
        curl_easy_cleanup(curl);
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
    curl_global_cleanup();
    return result;
}
