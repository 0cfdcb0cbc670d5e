#include "project/FormImage.h"

#include <QFileInfo>

#include "platform/Paths.h"
#include "project/ProjectScope.h"

namespace scrivane {

QString FormImageStem(const QString &unitPath) {
  const qsizetype nameStart = unitPath.size() - FileNamePart(unitPath).size();
  const qsizetype dot = unitPath.indexOf(QLatin1Char('.'), nameStart);
  return dot < 0 ? QString() : unitPath.left(dot + 1);
}

FormImageFiles FindFormImageFiles(const QString &unitPath, const ProjectScope *scope) {
  FormImageFiles files;
  const QString stem = FormImageStem(unitPath);
  if (stem.isEmpty()) return files;
  auto existing = [scope](const QString &path, ProjectScope::Kind kind) {
    const QString found = FindFileAnyCase(path);
    if (found.isEmpty() || !QFileInfo(found).isFile()) return QString();
    return scope && !scope->Problem(found, kind).isEmpty() ? QString() : found;
  };
  files.formFile = existing(stem + QStringLiteral("dfm"), ProjectScope::Kind::Source);
  if (files.formFile.isEmpty())
    files.formFile = existing(stem + QStringLiteral("lfm"), ProjectScope::Kind::Source);
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
