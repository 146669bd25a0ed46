// Commands on named objects: "Name.COMMAND arguments", routed by the object's kind.
#include "interpreter.h"

#include "run.h"

namespace nuv {

void Interpreter::objectCommand(Run &run) {
  const int entry = m_objects.findObject(run.keyword);
  if (entry < 0) return;
  // Drop the name and the one separator after it ("." or a blank).
  const QString rest = restFrom(run.line, int(run.keyword.size()) + 2).toString();
  int pos = 1;
  const QString command = getToken(rest, pos).toUpper();
  const QString kind = m_objects.objectIndex[entry].kind;
  CommandTarget target{entry, m_objects.objectIndex[entry].recordIndex};
  if (kind == u"FORM")
    formCommand(target, command, rest);
  else if (kind == u"BROWSER")
    browserCommand(target, command, rest);
  else if (kind == u"INPUTBOX")
    inputBoxCommand(target, command, rest);
  else
    buttonCommand(target, command, rest);
}

// The commands of each kind come with the window layer; until then they are
// recognised and routed, and do nothing.
void Interpreter::formCommand(const CommandTarget &, const QString &, const QString &) {}
void Interpreter::browserCommand(const CommandTarget &, const QString &, const QString &) {}
void Interpreter::buttonCommand(const CommandTarget &, const QString &, const QString &) {}
void Interpreter::inputBoxCommand(const CommandTarget &, const QString &, const QString &) {}

} // namespace nuv
