// libcurl, loaded on first use.
#include "curlapi.h"

#include <dlfcn.h>

namespace nuv {

namespace {

template <typename Function> bool bind(void *library, const char *name, Function &function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

CurlApi *open() {
  void *library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return nullptr;
  static CurlApi api;
  const bool complete = bind(library, "curl_global_init", api.global_init) &&
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
  if (!complete || api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
  return &api;
}

} // namespace

const CurlApi *loadCurl() {
  static CurlApi *const api = open(); // thread-safe, once
  return api;
}

const CurlApi &curl() {
  return *loadCurl();
}

} // namespace nuv
