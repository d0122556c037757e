#include <updater/online/curllibrary.h>

#ifdef RIVET_CURL_STATIC

// Windows has no system libcurl to load: the build links a static FTP-only one in.
const CurlLibrary &curlLibrary()
{
    static const CurlLibrary library{
        curl_global_init,  curl_global_cleanup, curl_easy_init,    curl_easy_setopt,
        curl_easy_perform, curl_easy_cleanup,   curl_easy_getinfo, QString()};
    return library;
}

#else

#include <QLibrary>

#ifndef CURL_LIBRARY_NAME
#define CURL_LIBRARY_NAME "libcurl"
#endif

namespace {

// Resolves `name`; the first one missing sets `problem`.
template <typename Function>
void resolve(QLibrary &library, const char *name, Function &function, QString &problem)
{
    function = reinterpret_cast<Function>(library.resolve(name));
    if (!function && problem.isEmpty())
        problem = library.errorString();
}

CurlLibrary load()
{
    CurlLibrary curl;
    // Never unloaded: libcurl keeps global state between init and cleanup.
    auto *library = new QLibrary(QStringLiteral(CURL_LIBRARY_NAME));
    if (!library->load()) {
        curl.problem = library->errorString();
        return curl;
    }
    resolve(*library, "curl_global_init", curl.global_init, curl.problem);
    resolve(*library, "curl_global_cleanup", curl.global_cleanup, curl.problem);
    resolve(*library, "curl_easy_init", curl.easy_init, curl.problem);
    resolve(*library, "curl_easy_setopt", curl.easy_setopt, curl.problem);
    resolve(*library, "curl_easy_perform", curl.easy_perform, curl.problem);
    resolve(*library, "curl_easy_cleanup", curl.easy_cleanup, curl.problem);
    resolve(*library, "curl_easy_getinfo", curl.easy_getinfo, curl.problem);
    return curl;
}

} // namespace

const CurlLibrary &curlLibrary()
{
    static const CurlLibrary library = load();
    return library;
}

#endif
