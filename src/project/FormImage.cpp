#include "project/FormImage.h"

#include <QFile>
#include <QFileInfo>

#include "platform/Paths.h"
#include "project/ProjectScope.h"

namespace scrivane {

QString FormImageStem(const QString &unitPath) {
  const qsizetype nameStart = unitPath.size() - FileNamePart(unitPath).size();
  const qsizetype dot = unitPath.indexOf(QLatin1Char('.'), nameStart);
  return dot < 0 ? QString() : unitPath.left(dot + 1);
}

namespace {

// The form among dfm and lfm that the unit's {$R ...} directives name,
// when they name one of them only; dfm otherwise, as for a unit that
// names neither.
QString BoundForm(const QString &unitPath, const QString &dfm, const QString &lfm) {
  QFile unit(FindFileAnyCase(unitPath));
  if (!unit.open(QIODevice::ReadOnly)) return dfm;
  // A unit binds its form near its end, and a form file's unit is never
  // huge: its first 16 MB say.
  const QByteArray text = unit.read(qint64(16) << 20);
  bool namesDfm = false, namesLfm = false;
  for (qsizetype at = text.indexOf("{$"); at >= 0; at = text.indexOf("{$", at + 2)) {
    if (at + 3 >= text.size() || (text[at + 2] | 0x20) != 'r' ||
        (text[at + 3] != ' ' && text[at + 3] != '\t'))
      continue;
    const qsizetype end = text.indexOf('}', at);
    if (end < 0) break;
    const QByteArray name = text.mid(at + 4, end - at - 4).trimmed().toLower();
    namesDfm = namesDfm || name.endsWith(".dfm");
    namesLfm = namesLfm || name.endsWith(".lfm");
  }
  return namesLfm && !namesDfm ? lfm : dfm;
}

}  // namespace

FormImageFiles FindFormImageFiles(const QString &unitPath, const ProjectScope *scope) {
  FormImageFiles files;
  const QString stem = FormImageStem(unitPath);
  if (stem.isEmpty()) return files;
  auto existing = [scope](const QString &path, ProjectScope::Kind kind) {
    const QString found = FindFileAnyCase(path);
    if (found.isEmpty() || !QFileInfo(found).isFile()) return QString();
    return scope && !scope->Problem(found, kind).isEmpty() ? QString() : found;
  };
  const QString dfm = existing(stem + QStringLiteral("dfm"), ProjectScope::Kind::Source);
  const QString lfm = existing(stem + QStringLiteral("lfm"), ProjectScope::Kind::Source);
  // With both, the one the unit binds ({$R *.lfm}) is the form the
  // compiler builds in: a Lazarus example keeps a Delphi form beside its
  // own, and the Delphi one was the one printed (or failed to read).
  files.formFile = dfm.isEmpty() ? lfm : lfm.isEmpty() ? dfm : BoundForm(unitPath, dfm, lfm);
  files.imageFile = existing(stem + QStringLiteral("bmp"), ProjectScope::Kind::Image);
  if (!files.imageFile.isEmpty()) {
    // Saved over the image there is: never a second file differing only in case.
    files.saveTarget = files.imageFile;
  } else {
    const QString name = FileNamePart(stem).toLower() + QStringLiteral("bmp");
    const QString folder = DirectoryPart(stem);
    const QString realFolder = folder.isEmpty() ? QString() : FindFileAnyCase(folder);
    if (folder.isEmpty())
      files.saveTarget = name;
    else if (!realFolder.isEmpty() && QFileInfo(realFolder).isDir())
      files.saveTarget =
          realFolder + (realFolder.endsWith(u'/') ? QString() : QStringLiteral("/")) + name;
    else
      files.saveTarget = folder + name;  // no such folder: the save reports it
  }
  return files;
}

}  // namespace scrivane
