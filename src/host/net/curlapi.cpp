// libcurl, loaded on first use and checked before any request.
#include "curlapi.h"

#include <dlfcn.h>

namespace nuv {

namespace {

const char *const libraryName = "libcurl.so.4";

template <typename Function> bool bind(void *library, const char *name, Function &function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

QString dottedVersion(unsigned number) {
  return QStringLiteral("%1.%2.%3").arg(number >> 16).arg((number >> 8) & 0xFF).arg(number & 0xFF);
}

CurlLibrary open() {
  void *library = dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr)
    return {nullptr, QStringLiteral("The transfer library %1 could not be loaded: %2")
                         .arg(QLatin1String(libraryName), QString::fromLocal8Bit(dlerror()))};
  static CurlApi api;
  const bool complete = bind(library, "curl_global_init", api.global_init) &&
                        bind(library, "curl_version_info", api.version_info) &&
                        bind(library, "curl_easy_init", api.easy_init) &&
                        bind(library, "curl_easy_setopt", api.easy_setopt) &&
                        bind(library, "curl_easy_getinfo", api.easy_getinfo) &&
                        bind(library, "curl_easy_cleanup", api.easy_cleanup) &&
                        bind(library, "curl_easy_strerror", api.easy_strerror) &&
                        bind(library, "curl_multi_init", api.multi_init) &&
                        bind(library, "curl_multi_cleanup", api.multi_cleanup) &&
                        bind(library, "curl_multi_add_handle", api.multi_add_handle) &&
                        bind(library, "curl_multi_remove_handle", api.multi_remove_handle) &&
                        bind(library, "curl_multi_perform", api.multi_perform) &&
                        bind(library, "curl_multi_info_read", api.multi_info_read) &&
                        bind(library, "curl_multi_poll", api.multi_poll);
  if (!complete)
    return {nullptr, QStringLiteral("The transfer library %1 lacks functions the engine needs; "
                                    "libcurl %2 or later is needed.")
                         .arg(QLatin1String(libraryName), dottedVersion(minimumCurlVersion))};
  const curl_version_info_data *info = api.version_info(CURLVERSION_NOW);
  const QString tooOld =
      info ? curlVersionError(info->version_num, info->version) : curlVersionError(0, "unknown");
  if (!tooOld.isEmpty()) return {nullptr, tooOld};
  if (api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
    return {nullptr, QStringLiteral("The transfer library could not be started.")};
  return {&api, {}};
}

} // namespace

const CurlLibrary &loadCurl() {
  static const CurlLibrary library = open(); // thread-safe, once
  return library;
}

const CurlApi &curl() {
  return *loadCurl().api;
}

QString curlVersionError(unsigned versionNumber, const char *versionText) {
  if (versionNumber >= minimumCurlVersion) return {};
  return QStringLiteral("libcurl %1 or later is needed to keep transfers to HTTP, HTTPS and FTP; "
                        "this system has %2.")
      .arg(nuv::dottedVersion(minimumCurlVersion), QString::fromUtf8(versionText));
}

QString CurlOptions::error() const {
  if (m_code == CURLE_OK) return {};
  if (m_refused == CURLOPT_PROTOCOLS_STR || m_refused == CURLOPT_REDIR_PROTOCOLS_STR)
    return QStringLiteral("The transfer library refused to keep this transfer to HTTP, HTTPS "
                          "and FTP (libcurl error %1), so it was not made.")
        .arg(int(m_code));
  return QStringLiteral("The transfer library refused option %1 (libcurl error %2), so the "
                        "transfer was not made.")
      .arg(int(m_refused))
      .arg(int(m_code));
}

} // namespace nuv
