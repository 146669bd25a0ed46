// The text of a "nuv:" address as the page wrote it, from the address Qt hands over.
#pragma once

#include <QString>
#include <QUrl>

namespace nuv {

// What follows "nuv:", still percent-encoded as the page wrote it.
QString commandText(const QUrl &url);

} // namespace nuv
