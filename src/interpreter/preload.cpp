// PRELOAD: fetches images and files into the cache ahead of use, behind the loading window.
#include "interpreter.h"

#include "resources.h"
#include "run.h"

namespace nuv {

void Interpreter::preload(Run &run) {
  ++m_preloadDepth;
  // The loading picture comes before the window is asked for it; an EXIT while it came leaves
  // no window to show.
  const bool shaped = m_settings.loadingImageShaped;
  const Picture loading = pictureAt(resolved(m_settings.loadingImage));
  if (!m_exited) m_windowSystem.showLoadingWindow(loading, shaped);
  int pos = operandPosition(run.keyword);
  const QString kind = getToken(run.line, pos).toUpper();
  // "PRELOAD IMAGE 'a.png'": the location follows the kind word and one separator.
  const int at = operandPosition(run.keyword) + operandPosition(kind) - 1;
  if (kind == u"IMAGE") {
    m_resources.loadPicture(m_evaluator.stringValue(run.line, at));
  } else if (kind == u"FILE") {
    m_resources.fetchToCache(m_evaluator.stringValue(run.line, at));
  } else if (kind == u"IMAGES" || kind == u"FILES") {
    preloadList(run, kind == u"IMAGES");
  }
  // A PRELOAD of an event run during another one leaves the window to the outer statement.
  if (--m_preloadDepth == 0) m_windowSystem.hideLoadingWindow();
}

// One location per line up to ENDPRELOAD; a list never closed takes the rest of the text. The
// items are read first and then fetched together.
void Interpreter::preloadList(Run &run, bool images) {
  QStringList locations;
  while (!run.atEnd()) {
    const QString line = trimBlanks(run.nextLine());
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    if (tokenIs(line, 1, u"ENDPRELOAD")) break;
    locations << m_evaluator.stringValue(line, 1);
  }
  if (images)
    m_resources.preloadPictures(locations);
  else
    m_resources.preloadFiles(locations);
}

} // namespace nuv
