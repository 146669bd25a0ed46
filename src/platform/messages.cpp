// Message boxes: modal on a desktop, one line on standard error in automated runs.
#include "messages.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>

namespace nuv {

bool messagesGoToStandardError() {
  if (qEnvironmentVariable("NUV_MESSAGES").compare(u"stderr", Qt::CaseInsensitive) == 0)
    return true;
  return QGuiApplication::platformName() == u"offscreen";
}

static QMessageBox::Icon boxIcon(MessageIcon icon) {
  switch (icon) {
  case MessageIcon::Exclamation:
    return QMessageBox::Warning;
  case MessageIcon::Critical:
    return QMessageBox::Critical;
  case MessageIcon::Information:
    return QMessageBox::Information;
  case MessageIcon::None:
    break;
  }
  return QMessageBox::NoIcon;
}

void showMessageBox(const QString &title, const QString &text, MessageIcon icon) {
  if (messagesGoToStandardError()) {
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(line));
    std::fflush(stderr);
    return;
  }
  QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok);
  box.exec();
}

} // namespace nuv
