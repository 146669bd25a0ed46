// Reading pictures with Qt's plugins loaded only when a picture needs them.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QString>

namespace nuv {

// Qt loads every plugin it can find (image formats with libjpeg, libtiff, libwebp and more) the
// first time it reads any picture: about a fifth of the engine's start-up. Skins are mostly BMP
// and PNG, which Qt reads by itself. So start-up, once the application object and its style
// exist, hides the plugin folders; they come back on the first picture Qt cannot read alone, or
// once the window is on screen.
void deferPlugins();
void restorePlugins();

// The most memory one decoded picture may take. Qt's decoders compare it with the size a picture
// declares before they allocate, for every picture the process reads (skins, buttons, pointers,
// the loading picture), so a picture that declares absurd dimensions is refused up front.
inline constexpr int pictureLimitMiB = 256;
void limitPictureMemory();

// A picture from a file or from bytes; null when it cannot be read, with or without plugins.
QImage readPicture(const QString &path);
QImage readPicture(const QByteArray &bytes);

struct DecodedPicture {
  QImage image;
  // Set when the picture declares more pixels than the decoder's allocation bound allows: the
  // bound, named for a message. The picture is then not decoded at all.
  QString overBound;
};
// A picture from what an open device holds, read from its start. The content decides the format;
// format (a file suffix such as "png") is tried when the content does not.
DecodedPicture decodePicture(QIODevice &device, const QByteArray &format);

} // namespace nuv
