// libcurl, loaded on first use: most documents are local, and loading it with its TLS, LDAP and
// Kerberos libraries at start-up costs more than the rest of the engine's start.
#pragma once

#include <QString>

#include <curl/curl.h>

namespace nuv {

struct CurlApi {
  decltype(&::curl_global_init) global_init;
  decltype(&::curl_version_info) version_info;
  decltype(&::curl_easy_init) easy_init;
  decltype(&::curl_easy_setopt) easy_setopt;
  decltype(&::curl_easy_getinfo) easy_getinfo;
  decltype(&::curl_easy_cleanup) easy_cleanup;
  decltype(&::curl_easy_strerror) easy_strerror;
  decltype(&::curl_multi_init) multi_init;
  decltype(&::curl_multi_cleanup) multi_cleanup;
  decltype(&::curl_multi_add_handle) multi_add_handle;
  decltype(&::curl_multi_remove_handle) multi_remove_handle;
  decltype(&::curl_multi_perform) multi_perform;
  decltype(&::curl_multi_info_read) multi_info_read;
  decltype(&::curl_multi_poll) multi_poll;
};

struct CurlLibrary {
  // nullptr when the library cannot be used; error then says why.
  const CurlApi *api = nullptr;
  QString error;
};

// The library with curl_global_init done, loaded and checked once.
const CurlLibrary &loadCurl();
// Only after loadCurl() has succeeded.
const CurlApi &curl();

// 7.85.0, the first version that restricts the schemes of a request by name
// (CURLOPT_PROTOCOLS_STR); an older one would ignore the restriction and allow every scheme.
constexpr unsigned minimumCurlVersion = 0x075500;
// Why a library of this version cannot be used; "" when it can.
QString curlVersionError(unsigned versionNumber, const char *versionText);

// Sets the options of one request and keeps the first one refused. A request must not run with
// part of its options missing: without the scheme restriction it would follow a redirect to any
// scheme the library knows.
class CurlOptions {
public:
  using Setter = decltype(&::curl_easy_setopt);

  CurlOptions(CURL *easy, Setter setter) : m_easy(easy), m_setter(setter) {}

  // Does nothing once an option has been refused.
  template <typename Value> void set(CURLoption option, Value value) {
    if (m_code != CURLE_OK) return;
    m_code = m_setter(m_easy, option, value);
    if (m_code != CURLE_OK) m_refused = option;
  }
  bool ok() const { return m_code == CURLE_OK; }
  // Why the request cannot run; "" when every option was taken.
  QString error() const;

private:
  CURL *m_easy;
  Setter m_setter;
  CURLcode m_code = CURLE_OK;
  CURLoption m_refused = CURLoption(0);
};

} // namespace nuv
