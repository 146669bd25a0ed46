// libcurl, loaded on first use: most documents are local, and loading it with its TLS, LDAP and
// Kerberos libraries at start-up costs more than the rest of the engine's start.
#pragma once

#include <curl/curl.h>

namespace nuv {

struct CurlApi {
  decltype(&::curl_global_init) global_init;
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

// The library with curl_global_init done, loaded once; nullptr when it cannot be loaded.
const CurlApi *loadCurl();
// Only after loadCurl() has succeeded.
const CurlApi &curl();

} // namespace nuv
