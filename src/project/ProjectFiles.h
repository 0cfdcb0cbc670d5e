#pragma once
// The project and package files of Lazarus (.lpi, .lpk, XML) and Delphi
// (.dproj, MSBuild XML): which source files they list, which program is the
// project's main file, and where the compiler looks for units and include
// files. (A Delphi package, .dpk, is Pascal and read like a program.)
#include <QString>
#include <QStringList>

namespace scrivane {

struct ProjectFileContents {
  bool ok = false;
  QString error;       // why the file could not be read, when !ok
  QString mainSource;  // absolute path of the program the project builds; empty for a package
  QStringList units;   // absolute paths of the units and forms it lists, in its order
  QStringList unitFolders, includeFolders;  // absolute, each ending in "/"
  // Search-path entries left out because they hold a macro that cannot be
  // told here ("$(LazarusDir)/lcl"), as written.
  QStringList unresolved;
};

// True for the names this reader takes: ".lpi", ".lpk", ".dproj".
bool IsProjectDescriptionFile(const QString &fileName);
ProjectFileContents ReadProjectDescription(const QString &path);
// The search paths older Delphi kept beside a project: Project1.dof, the
// IDE's options ([Directories] SearchPath=, for units and include files
// alike), or Project1.cfg, what dcc32 reads (-U"dirs" units, -I"dirs"
// include files). Folders on a Windows drive ("C:\Lib") are not on this
// machine and are left out; a macro ("$(DELPHI)\Lib") is named in a note.
ProjectFileContents ReadDelphiOptions(const QString &path);

// For a unit or include file opened alone: the Lazarus package or project
// file in its folder or the nearest one above that lists it or whose
// folder or search path covers its folder, as the IDE would compile it.
// Its path, or an empty text when there is none.
QString ProjectDescriptionFor(const QString &sourcePath, ProjectFileContents *contents);

}  // namespace scrivane
