#include "project/ProjectScope.h"

#include <QDir>
#include <QFileInfo>

#include "platform/Paths.h"

namespace scrivane {

namespace {
constexpr QLatin1StringView kOutside("it lies outside the project's folder");
}  // namespace

bool HasProjectSourceExtension(const QString &path) {
  static const char *const kExtensions[] = {".pas", ".pp", ".p", ".inc", ".lpr", ".dpr", ".dpk",
                                            ".lfm", ".dfm",
                                            // Lazarus resources, Pascal that units include
                                            ".lrs"};
  for (const char *extension : kExtensions)
    if (path.endsWith(QLatin1StringView(extension), Qt::CaseInsensitive)) return true;
  return false;
}

void ProjectScope::AddRoot(const QString &folder) {
  QString canonical =
      QFileInfo(folder.isEmpty() ? QStringLiteral(".") : folder).canonicalFilePath();
  if (canonical.isEmpty() || !QFileInfo(canonical).isDir()) return;
  while (canonical.size() > 1 && canonical.endsWith(u'/')) canonical.chop(1);
  if (!roots_.contains(canonical)) roots_.append(canonical);
}

QString ProjectScope::Problem(const QString &path, Kind kind) const {
  if (roots_.isEmpty() && !anyFolder_) return QString();
  // The readers find a file whatever the case of its name.
  const QString found = QFileInfo::exists(path) ? path : FindFileAnyCase(path);
  if (found.isEmpty()) return QString();
  const QFileInfo info(found);
  const QString canonical = info.canonicalFilePath();
  // The name and what a link leads to: `x.inc` may be a link to a private file.
  if (kind == Kind::Source &&
      (!HasProjectSourceExtension(path) || !HasProjectSourceExtension(canonical)))
    return canonical == QDir::cleanPath(info.absoluteFilePath())
               ? QStringLiteral("it is not a Pascal source or form file")
               : QStringLiteral("it is a link to %1, not a Pascal source or form file")
                     .arg(canonical);
  if (anyFolder_) return QString();
  for (const QString &root : roots_) {
    if (root == u"/") return QString();
    if (canonical.startsWith(root) && canonical.size() > root.size() &&
        canonical[root.size()] == u'/')
      return QString();
  }
  if (info.isSymLink() || canonical != QDir::cleanPath(info.absoluteFilePath()))
    return QStringLiteral("it is a link to %1, outside the project's folder").arg(canonical);
  return QStringLiteral("%1 %2").arg(kOutside, roots_.first());
}

bool ProjectScope::LiesOutside(const QString &problem) { return problem.startsWith(kOutside); }

}  // namespace scrivane
