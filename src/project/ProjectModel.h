#pragma once
// The in-memory model of the opened file: what the two pick lists show and
// the lines the listings print. Owned by the main window (or the command-line
// tool); the readers fill it, the windows only show it.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

#include "platform/TextEncoding.h"
#include "project/EntryKind.h"
#include "project/LineList.h"
#include "project/LineTextSet.h"
#include "project/ProjectScope.h"
#include "project/TextList.h"

namespace scrivane {

struct UnitEntry {
  QString name;      // display name: lower-case file name (at most 128 characters)
  QString fullPath;  // lower-case absolute path, as shown and compared
  EntryKind kind = EntryKind::UnitInProject;
  // The absolute path as named, in its case on disk when the file was found
  // there: what is read, printed for scripts and named in messages. Empty
  // in entries made by hand: fullPath is read then.
  QString diskPath;
  // Why the project may not bring this file into a book (it lies outside
  // the project's folder, or is no Pascal file); empty when it may.
  QString leftOut;
  const QString &PathToRead() const { return diskPath.isEmpty() ? fullPath : diskPath; }
};

struct RoutineEntry {
  QByteArray text;  // lower-cased header or object line
  EntryKind kind = EntryKind::Procedure;
  bool selected = false;
  int file = 0;  // the SourceParts entry the routine is implemented in
  // Declared only in the implementation part (its own routine, or a method
  // of a class declared there): the interface does not offer it.
  bool implementationOnly = false;
  // The SourceLines index of the line the entry stands for: its header, or
  // a form's object line; -1 when it stands for none.
  int line = -1;
};

// A file whose lines are among the loaded unit's lines: the unit itself
// (entry 0) or an include file its text brings in, in the order met.
struct SourcePart {
  enum class State { Read, Missing, Repeated, Unreadable };
  QString path;   // as found on disk; as named when it is not there
  QString shown;  // the name headings and the index give it: relative to the unit's folder when
                  // inside it
  State state = State::Read;
};

// The one order of routine names and headers: the routine list, the
// procedures list and the index. ASCII case folded (so "_" sorts after
// the digits and before the letters), then byte by byte; the same on
// every machine, whatever its locale or the file's encoding.
bool RoutineOrderLess(QByteArrayView a, QByteArrayView b);

// What was read of the opened file: the project (or the one unit or form
// opened alone), its unit list and where its files may come from.
struct OpenedProject {
  QList<UnitEntry> Units;  // unit list and parallel path list; not sorted
  QList<QByteArray> ProjectLines;
  QString OpenedPath;
  QString ProjectDir;
  // Folders (absolute, "/" at the end) where the compiler would look for a
  // unit or an include file after the folder of the file that names it: the
  // search paths of the project or package file, then the user's own.
  QStringList UnitSearchPaths;
  QStringList IncludeSearchPaths;
  // Names in the program's uses clause found in neither: the run-time
  // library's, or the units of a project whose search path its build
  // script gives.
  QStringList UnitsNotFound;
  // The project and package files read for the open file (.lpi, .lpk, .dproj).
  QStringList DescriptionFiles;
  // Include folders the user adds (--include-path): kept from one open to the next.
  QStringList UserIncludePaths;
  // The .DDT the open form's text was written to or read from.
  QString FormTextPath;
  // The folders the opened file may bring files in from.
  ProjectScope Scope;
  int WidestName = 0;
  bool ProjectLoaded = false;
  bool FormFileOpened = false;

  // Texts the readers set on the window.
  QString WindowCaption = QStringLiteral("Scrivane");
  QString GroupCaption = QStringLiteral("Units and Forms");
  QString RoutineCaption = QStringLiteral("Procedures and Functions");

  // Measures a display name in the main window's font (pixels); set by the
  // window, a fixed estimate headless.
  std::function<int(const QString &)> NameWidth = [](const QString &s) {
    return int(s.size()) * 7;
  };

  // Appends a unit-list entry (the pick list's SetPickList).
  void SetPickList(const QString &path, EntryKind kind);
  // Appends an entry for the file at diskPath (absolute) listed as `name`.
  void AddEntry(const QString &diskPath, const QString &name, EntryKind kind);
};

// The routine list of the loaded unit (a form: its objects), in the one
// order, and the lines where its routines start.
struct RoutineList {
  QList<RoutineEntry> Routines;  // routine list, sorted case-insensitively
  QList<QByteArray> DeclaredRoutines;
  // The routine list also holds the routines of the implementation part
  // ([Switch] ImplementationRoutines).
  bool ListImplementationRoutines = true;
  // The lines (without surrounding blanks) on which a listed routine's
  // header starts, {$IFDEF} alternatives included: where the listing puts
  // a routine at the margin and where a selected routine's text ends.
  LineTextSet RoutineHeadingLines;
  // The same for routines the interface does not declare: a selection ends
  // there too, but the listing lays them out as the code around them.
  LineTextSet ImplementationHeadingLines;

  bool AnyRoutineSelected() const;
  // Adds a routine-list entry for SourceLines[line] in sorted position.
  void AddRoutine(const QByteArray &text, EntryKind kind, int line);
  // Adds the entries in the order AddRoutine one by one would give, with
  // one sort: a unit of ten thousand routines no longer moves the list once
  // per routine.
  void AddRoutines(const QList<RoutineEntry> &entries);
  void ClearRoutines();
};

// What LoadUnit read of the highlighted unit (or form): its lines, the
// files they come from, its routines and what the listing needs of them.
struct LoadedUnit : RoutineList {
  QString CurrentUnitPath;
  LineList SourceLines;
  // The files SourceLines come from (SourceLines.fileIndex); entry 0 is the unit.
  QList<SourcePart> SourceParts;
  // How SourceLines (and the routine texts taken from them) are to be read.
  TextEncoding SourceEncoding = TextEncoding::Windows1252;
  // Brace comments of the loaded unit nest where its listing starts (its
  // kind of file, or the mode its directives set).
  bool CommentsNest = false;
  // The loaded document is a form's text, its routine list the objects.
  bool FormMode = false;
  // By line of the file (from 1): the author indented the line deeper than
  // the code line before it. The layout follows the author where Pascal
  // has two conventions ("begin" under "then" or one step in).
  std::vector<bool> IndentedDeeper;
  // Each source part's lines as its file has them (by SourcePart index),
  // for a listing that keeps the source's own layout ([Switch] Layout);
  // empty when the unit was read without it.
  QList<LineList> OwnLines;
  // Routine headers the reader joined from several lines of a file into
  // one listing line: (file << 32 | first line) gives the last line. Kept
  // with OwnLines only.
  QHash<quint64, int> JoinedLines;
  static quint64 JoinedKey(int file, int line) {
    return quint64(quint32(file)) << 32 | quint32(line);
  }
  // The same headers in any layout, for the names on their later lines:
  // where the text of each later line starts in the listing line (bytes)
  // and the file line it is (negative when the reader had cut it from a
  // line of the file), and the listing line's length, which tells it from
  // a line cut off before it from the same file line.
  struct JoinedHeader {
    qsizetype size = 0;
    std::vector<std::pair<qsizetype, int>> starts;
  };
  QHash<quint64, JoinedHeader> JoinedHeaders;

  // The name of the file line i of `lines` comes from, as headings show it
  // ("include/control.inc"); empty for the unit itself.
  QString PartNameOf(const LineList &lines, qsizetype i) const;
};

// The model: what was read, the loaded unit, what is selected in the two
// lists, and what the last print made of them.
struct ProjectModel : OpenedProject, LoadedUnit {
  // Selection (the routines' own flags are in Routines).
  int SelectedUnit = -1;  // highlighted unit-list entry, -1 when none
  bool UnitHighlighted = false;
  // Keep OwnLines whatever the layout: the window copies routines as the
  // file has them.
  bool KeepOwnLines = false;

  // What a print made: the lines a unit listing prints, and the index
  // entries its pages gathered.
  LineList ListingLines;
  TextList IndexEntries;

  // Every file the opened project consists of (the opened file, its units,
  // the forms and images beside them, its project description and include
  // files): what no output may be written over.
  QStringList ProjectFiles() const;
  // A unit or form opened by itself: its one unit-list entry, selected, its
  // file name as the project text, and the captions of its kind
  // (EntryKind::FormFile for a form, else a unit).
  void OpenAlone(const QString &path, EntryKind kind);
  void ClearUnits();
  // Takes over what LoadUnit read into `other` (a copy of this model that
  // read another unit): the loaded unit and which entry it is.
  void TakeLoadedUnit(ProjectModel &&other);
};

}  // namespace scrivane
