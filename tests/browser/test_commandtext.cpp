// Command addresses read back as pages wrote them, through Qt's own parsing of the address.
#include "commandtext.h"

#include <gtest/gtest.h>

using namespace nuv;

TEST(CommandText, AsThePageWroteIt) {
  const struct {
    const char *address; // as the web engine hands it to Qt
    const char *text;
  } cases[] = {
      {"nuv:TITLE+'a'", "TITLE+'a'"},
      {"NUV:TITLE+'a;b'%3BX", "TITLE+'a;b'%3BX"},
      {"nuv:Gr%C3%BC%C3%9Fe", "Gr%C3%BC%C3%9Fe"},
      // A stray "%" makes Qt rewrite every "%"; the escapes beside it are the page's.
      {"nuv:TITLE+'Gr%C3%BC%C3%9Fe'%", "TITLE+'Gr%C3%BC%C3%9Fe'%"},
      {"nuv:a%zz%41", "a%zz%41"},
      {"nuv:100%+%2B", "100%+%2B"},
      // An encoded "%" is the page's own, also before text that is no escape.
      {"nuv:x+y%2541;z", "x+y%2541;z"},
      {"nuv:TITLE+'50%25'", "TITLE+'50%25'"},
      {"nuv:TITLE+'50%25'%20", "TITLE+'50%25'%20"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(commandText(QUrl::fromEncoded(QByteArray(c.address))), QString::fromUtf8(c.text))
        << c.address;
}
