#include "project/IncludeFiles.h"

#include <QDir>
#include <QFileInfo>

#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "project/ReaderText.h"

namespace scrivane {
using namespace readertext;

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The file name of a directive's text ("{$I" already read, `args` up to
// the closing "}" or "*)"); empty when the directive names no file.
QByteArray IncludedName(QByteArrayView args) {
  const QByteArrayView text = Trimmed(args);
  if (text.isEmpty() || text[0] == '%') return {};
  if (text[0] == '\'') {
    const qsizetype close = text.indexOf('\'', 1);
    return text.sliced(1, (close < 0 ? text.size() : close) - 1).toByteArray();
  }
  qsizetype end = 0;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  return text.first(end).toByteArray();
}

}  // namespace

namespace {
// True when text may hold an include directive: most units hold none, and
// this look costs far less than reading them as code.
bool MayInclude(QByteArrayView text) {
  for (qsizetype at = text.indexOf('$'); at > 0; at = text.indexOf('$', at + 1))
    if ((text[at - 1] == '{' || text[at - 1] == '*') && at + 1 < text.size() &&
        (text[at + 1] | 0x20) == 'i')
      return true;
  return false;
}
}  // namespace

std::vector<IncludeDirective> FindIncludeDirectives(QByteArrayView text) {
  std::vector<IncludeDirective> found;
  if (!MayInclude(text)) return found;
  const qsizetype n = text.size();
  // Line ends count as ForEachLine counts them: CR LF, LF or a lone CR.
  int line = 1;
  auto lineEndFrom = [&](qsizetype at) {
    // The end of the line holding `at`, after its line break.
    while (at < n && text[at] != '\n' && text[at] != '\r') ++at;
    if (at < n) at += (text[at] == '\r' && at + 1 < n && text[at + 1] == '\n') ? 2 : 1;
    return at;
  };
  auto countLines = [&](qsizetype from, qsizetype to) {
    for (qsizetype k = from; k < to; ++k) {
      if (text[k] == '\n')
        ++line;
      else if (text[k] == '\r' && !(k + 1 < n && text[k + 1] == '\n'))
        ++line;
    }
  };
  qsizetype at = 0;
  while (at < n) {
    const char c = text[at];
    if (c == '\'') {
      qsizetype end = at + 1;
      while (end < n && text[end] != '\'' && text[end] != '\n' && text[end] != '\r') ++end;
      at = end < n && text[end] == '\'' ? end + 1 : end;
      continue;
    }
    if (c == '/' && at + 1 < n && text[at + 1] == '/') {
      while (at < n && text[at] != '\n' && text[at] != '\r') ++at;
      continue;
    }
    const bool brace = c == '{';
    const bool parenStar = c == '(' && at + 1 < n && text[at + 1] == '*';
    if (!brace && !parenStar) {
      if (c == '\n' || (c == '\r' && !(at + 1 < n && text[at + 1] == '\n'))) ++line;
      ++at;
      continue;
    }
    const qsizetype open = at + (brace ? 1 : 2);
    const QByteArrayView closing = brace ? QByteArrayView("}") : QByteArrayView("*)");
    qsizetype close = text.indexOf(closing, open);
    if (close < 0) close = n;
    const qsizetype after = std::min(n, close + closing.size());
    if (open < n && text[open] == '$') {
      qsizetype word = open + 1;
      while (word < n && IsLetter(text[word])) ++word;
      const QByteArrayView directive = text.sliced(open + 1, word - open - 1);
      const bool include =
          EqualsIgnoringCase(directive, "i") || EqualsIgnoringCase(directive, "include");
      if (include && word < close && IsBlank(text[word])) {
        QByteArray name = IncludedName(text.sliced(word, close - word));
        if (!name.isEmpty()) {
          countLines(at, close);
          IncludeDirective d;
          d.name = std::move(name);
          d.line = line;
          d.lineEnd = lineEndFrom(std::min(close, n));
          found.push_back(std::move(d));
          countLines(close, after);
          at = after;
          continue;
        }
      }
    }
    countLines(at, after);
    at = after;
  }
  return found;
}

QString ResolveIncludeFile(QByteArrayView name, const QString &includingFile,
                           const QStringList &searchFolders, FileFinder &finder) {
  QString written = Decode1252(name.toByteArray());
  if (written.startsWith(u'*')) {
    // "{$I *}", "{$I *.res}": the including file's own name.
    QString own = FileNamePart(includingFile);
    const qsizetype dot = own.lastIndexOf(u'.');
    if (dot > 0) own.truncate(dot);
    written = own + written.mid(1);
  }
  written = NormalizeSeparators(written);
  QStringList candidates{written};
  if (!FileNamePart(written).contains(u'.'))
    for (const char *extension : {".inc", ".pp", ".pas"})
      candidates << written + QLatin1String(extension);
  if (written.endsWith(u'.') && written.size() >= 2) candidates << written.chopped(1);
  QStringList folders{DirectoryPart(includingFile)};
  folders += searchFolders;
  for (const QString &candidate : candidates) {
    if (IsAbsolutePath(candidate)) {
      if (finder.FileExists(candidate)) return QDir::cleanPath(finder.Find(candidate));
      continue;
    }
    for (const QString &folder : folders) {
      const QString path = JoinPath(folder, candidate);
      if (finder.FileExists(path)) return QDir::cleanPath(finder.Find(path));
    }
  }
  return {};
}

}  // namespace scrivane
