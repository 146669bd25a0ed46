// The checks made before libcurl transfers anything: its version, and every option it refuses.
#include "curlapi.h"

#include <gtest/gtest.h>

#include <vector>

using namespace nuv;

namespace {

// A setter that refuses one option and records every option it was asked for.
CURLoption refusedOption;
std::vector<CURLoption> askedFor;

CURLcode refusingSetter(CURL *, CURLoption option, ...) {
  askedFor.push_back(option);
  return option == refusedOption ? CURLE_UNKNOWN_OPTION : CURLE_OK;
}

TEST(CurlOptions, FirstRefusalStopsTheRequestWithItsReason) {
  const struct {
    CURLoption refused;
    const char *reason;
  } cases[] = {
      {CURLOPT_PROTOCOLS_STR, "refused to keep this transfer to HTTP, HTTPS and FTP"},
      {CURLOPT_REDIR_PROTOCOLS_STR, "refused to keep this transfer to HTTP, HTTPS and FTP"},
      {CURLOPT_USERAGENT, "refused option 10018 (libcurl error 48)"},
  };
  for (const auto &c : cases) {
    refusedOption = c.refused;
    askedFor.clear();
    CurlOptions options(nullptr, &refusingSetter);
    options.set(CURLOPT_URL, "http://example.invalid/");
    options.set(CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    options.set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp");
    options.set(CURLOPT_USERAGENT, "test");
    options.set(CURLOPT_FOLLOWLOCATION, 1L);
    EXPECT_FALSE(options.ok()) << c.reason;
    EXPECT_TRUE(options.error().contains(QLatin1String(c.reason))) << options.error().toStdString();
    // Nothing is asked for after the refusal.
    EXPECT_EQ(askedFor.back(), c.refused) << c.reason;
  }
}

TEST(CurlOptions, AllTakenMeansNoError) {
  refusedOption = CURLoption(0);
  CurlOptions options(nullptr, &refusingSetter);
  options.set(CURLOPT_PROTOCOLS_STR, "http,https,ftp");
  options.set(CURLOPT_NOSIGNAL, 1L);
  EXPECT_TRUE(options.ok());
  EXPECT_EQ(options.error(), QString());
}

TEST(CurlVersion, OlderThanTheSchemeRestrictionIsRefused) {
  const struct {
    unsigned number;
    const char *text;
    bool accepted;
  } cases[] = {
      {0x075400, "7.84.0", false}, {0x071D00, "7.29.0", false}, {0, "unknown", false},
      {0x075500, "7.85.0", true},  {0x075801, "7.88.1", true},  {0x080B00, "8.11.0", true},
  };
  for (const auto &c : cases) {
    const QString error = curlVersionError(c.number, c.text);
    EXPECT_EQ(error.isEmpty(), c.accepted) << c.text;
    if (!c.accepted) {
      EXPECT_TRUE(error.contains(QLatin1String("libcurl 7.85.0 or later is needed")))
          << error.toStdString();
      EXPECT_TRUE(error.contains(QLatin1String(c.text))) << error.toStdString();
    }
  }
}

TEST(CurlVersion, TheLibraryOfThisSystemLoads) {
  EXPECT_NE(loadCurl().api, nullptr) << loadCurl().error.toStdString();
  EXPECT_EQ(loadCurl().error, QString());
}

} // namespace
