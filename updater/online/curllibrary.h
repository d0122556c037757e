#pragma once
// libcurl, loaded the first time a fetch needs it rather than when the program starts:
// its dozens of dependent libraries would otherwise add about a fifth to the updater's
// start-up, for a feature most runs never use.

#include <QString>
#include <curl/curl.h>

struct CurlLibrary
{
    CURLcode (*global_init)(long flags) = nullptr;
    void (*global_cleanup)() = nullptr;
    CURL *(*easy_init)() = nullptr;
    CURLcode (*easy_setopt)(CURL *curl, CURLoption option, ...) = nullptr;
    CURLcode (*easy_perform)(CURL *curl) = nullptr;
    void (*easy_cleanup)(CURL *curl) = nullptr;
    CURLcode (*easy_getinfo)(CURL *curl, CURLINFO info, ...) = nullptr;

    // Why the library is unusable; empty once every function above is resolved.
    QString problem;
};

// Loads the library once per process (thread-safe) and keeps it loaded.
const CurlLibrary &curlLibrary();
