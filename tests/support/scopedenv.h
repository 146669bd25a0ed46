// An environment variable set or cleared for one scope, and put back as it was.
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace nuv::test {

class ScopedEnv {
public:
  ScopedEnv(const char *name, const std::optional<QByteArray> &value)
      : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
    if (value)
      qputenv(name, *value);
    else
      qunsetenv(name);
  }
  ~ScopedEnv() {
    if (m_had)
      qputenv(m_name, m_old);
    else
      qunsetenv(m_name);
  }

private:
  const char *m_name;
  bool m_had;
  QByteArray m_old;
};

} // namespace nuv::test
