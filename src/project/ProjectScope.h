#pragma once
// Which files a project may bring into a book. A project file is often
// downloaded: `uses pw in '/etc/passwd'`, or a unit that is a symbolic link
// to a private file, would otherwise print that file into the PDF. A file
// reached through a project (a unit, a form, an include file) is read only
// when it is a Pascal source or form file lying, links followed, inside the
// project's folder tree or on a search path the project file declares.
#include <QString>
#include <QStringList>

namespace scrivane {

// True for the extensions a project may bring in: .pas .pp .p .inc .lpr
// .dpr .dpk .lfm .dfm, and .lrs (Lazarus resources, which units include),
// any case.
bool HasProjectSourceExtension(const QString &path);

class ProjectScope {
 public:
  // Allows the folder tree under `folder` (made absolute, links followed).
  // A folder that does not exist adds nothing.
  void AddRoot(const QString &folder);
  void Clear() {
    roots_.clear();
    anyFolder_ = false;
  }
  // A unit opened alone: the user chose it, and what its text brings in may
  // lie in any folder; it must still be a Pascal source or form file, its
  // links followed.
  void AllowAnyFolder() { anyFolder_ = true; }

  enum class Kind { Source, Image };
  // Why the existing file at `path` may not be read through the project;
  // empty when it may (and for a file that does not exist: its reader says
  // so). An image (a form's bitmap) is checked for where it lies only. With
  // no root and any folder allowed (nothing open), nothing is checked.
  QString Problem(const QString &path, Kind kind = Kind::Source) const;
  // Whether a Problem is only that a real file lies outside every folder
  // let in (not a link, not another kind of file): the user may let its
  // folder in.
  static bool LiesOutside(const QString &problem);

 private:
  QStringList roots_;  // canonical, without a trailing "/"
  bool anyFolder_ = false;
};

}  // namespace scrivane
