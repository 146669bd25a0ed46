// Whether this machine can reach any network at all, as opposed to one server being down.
#include "network.h"

#include <QUrl>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <memory>

namespace nuv {

bool anyNetworkUp() {
  ifaddrs *list = nullptr;
  // Without the list nothing can be told: assume a network, so the message names the server.
  if (getifaddrs(&list) != 0) return true;
  const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(list, &freeifaddrs);
  for (const ifaddrs *entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr) continue;
    const int family = entry->ifa_addr->sa_family;
    if (family != AF_INET && family != AF_INET6) continue;
    const unsigned flags = entry->ifa_flags;
    if ((flags & IFF_UP) != 0 && (flags & IFF_RUNNING) != 0 && (flags & IFF_LOOPBACK) == 0)
      return true;
  }
  return false;
}

bool namesThisMachine(const QString &url) {
  const QString host = QUrl(url, QUrl::TolerantMode).host();
  if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) return true;
  const QByteArray text = host.toLatin1();
  in_addr v4{};
  if (inet_pton(AF_INET, text.constData(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  return inet_pton(AF_INET6, text.constData(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

} // namespace nuv
