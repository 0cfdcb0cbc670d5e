#pragma once
// Opening project, unit and form files into the model.
#include <QFileInfo>
#include <QString>
#include <functional>

#include "project/FormStream.h"
#include "project/ProjectModel.h"
#include "project/ReadChoices.h"
#include "project/RoutineHeaders.h"

namespace scrivane {

class UserMessages;

struct ReaderContext {
  ProjectModel &model;
  ReadChoices choices;
  UserMessages &messages;
  bool includeUses = false;  // "Include unit files listed in the uses clause"
  // Set where no .DDT may be written beside a form (the command-line tool
  // only reads); the form is listed from the text converted in memory.
  bool noFormTextFile = false;
  // The window's status line, told while a form's text is read (which may
  // take a moment) and when it is done; empty where there is none.
  std::function<void(const QString &text)> showStatus = {};
  // A unit opened alone, its search paths known, just before it is read
  // (its path as the model keeps it): the print may resolve its names
  // meanwhile. Empty where nothing is to be done then.
  std::function<void(const QString &path)> beforeReadingAlone = {};
};

// Clears the model for a new Open (step 1 of the open command).
void ClearForOpen(ProjectModel &model);
// What the opened file may bring in: the tree of its folder, the folders of
// its project description, the search paths that declares and the include
// folders the user added. A file opened alone (no project loaded) brings
// in from any folder, Pascal files only.
void SetProjectScope(ProjectModel &model);
// Marks `entry` left out when the model's scope does not allow its file,
// and tells the user (stderr, the status line).
void LeaveOutOfScope(ReaderContext &ctx, UnitEntry &entry);
// The folders of the units the open project names (by `in '..\\lib\\x.pas'`
// or in its .lpi's list) that were left out only for lying outside its
// folder tree, in the order first met. A project kept in a folder of its
// own beside its sources (a .lpi in CommandLine/Lazarus naming
// ../../Parse/*.pas) has all of them there; letting them in is the user's
// choice (--include-path, or the window's question).
QStringList FoldersLeftOutside(const ProjectModel &model);
// How many units those folders hold.
qsizetype UnitsLeftOutside(const ProjectModel &model);
// Why a project lists no units when its uses clause names some: "none of
// those its uses clause names (A, B, C and 25 more) is in its folder or on
// a search path it declares". Empty when it names none, or lists units.
QString UnitsNotFoundText(const ProjectModel &model);
// Extensions of unit files, in the order a unit named in a uses clause is
// looked for: Delphi's ".pas" first, then Free Pascal's.
inline const QString kUnitExtensions[] = {QStringLiteral(".pas"), QStringLiteral(".pp"),
                                          QStringLiteral(".p")};

// Dispatches on the file name: ".dpr" -> ParseDpr, ".pas" -> ParsePas,
// ".dfm" or a name ending in ".lfm" -> ParseDfm (each test separately, in
// that order); when none of those matches, a name ending in ".lpr" ->
// ParseDpr, in ".pp" or ".p" -> ParsePas.
void OpenPath(ReaderContext &ctx, const QString &path);
// True when the file name ends in one of kUnitExtensions (any case).
bool HasUnitExtension(const QString &fileName);
// A unit path in the form two listings of the same file share: absolute,
// cleaned, lower case.
QString ComparablePath(const QString &path);
// The unit-list entry whose display name is `name`, with or without a unit
// extension ("stock" finds "stock.pas" and "stock.pp"); -1 when none is.
int FindUnitByName(const ProjectModel &model, const QString &name);
void ParseDpr(ReaderContext &ctx, const QString &path);
struct ProjectFileContents;
// Opens a Lazarus project or package (.lpi, .lpk) or a Delphi project
// (.dproj): its program's book with its search paths, and the units it lists.
void OpenProjectDescription(ReaderContext &ctx, const QString &path);
// Takes the search paths of a project or package file for the open file;
// search-path entries it cannot resolve are named in a note.
void UseSearchPaths(ReaderContext &ctx, const QString &descriptionPath,
                    const ProjectFileContents &contents);
void ScanUsesClauses(ReaderContext &ctx);
void ParsePas(ReaderContext &ctx, const QString &path);
// Loads the highlighted unit (model.SelectedUnit) into SourceLines; while a
// form file is open, its form text (LoadFormText).
void LoadUnit(ReaderContext &ctx);
// A unit's text as LoadUnit keeps it: each line normalised and split
// before its block words, numbered with its line in the file.
// A large unit is read in two halves at once; halves = false reads it in
// one pass.
// nestComments: whether brace comments nest until a mode directive says.
LineList ReadLines(QByteArrayView text, bool lower, bool halves = true, bool nestComments = false);
// Whether brace comments of the file at `path` nest before any mode
// directive: Free Pascal's own files (.pp, .lpr, .inc, .p, and units of a
// Lazarus project) do, Delphi's (.pas and .dpr, alone or in a .dpr project)
// do not.
bool CommentsNestByDefault(const QString &path, const QString &projectPath);
// By line of text (from 1, entry 0 unused): indented deeper than the
// non-blank line before it (a tab to the next multiple of eight).
std::vector<bool> IndentedDeeperLines(QByteArrayView text);
// The lines of text as the file has them (line ends left out), numbered from 1.
LineList OwnLinesOf(QByteArrayView text);

// Form files, binary or saved as text.
enum class FormStatus { Ok, Missing, Unreadable, Malformed };
struct FormConversion {
  FormStatus status = FormStatus::Missing;
  QString diskPath;  // the form as found on disk, whatever the case of the asked path
  QByteArray text;   // the object text when status is Ok
  FormStreamError error;
  QString reason;  // why an Unreadable file could not be read
};
// Reads and converts a form file in memory; writes nothing.
FormConversion ReadFormFile(const QString &path);
// "Cannot read <shownPath>" and, on a second line, why: the system's
// reason, or where the decoder stopped and what it met there.
QString FormFailureText(const QString &shownPath, const FormConversion &conversion);
// The form's path with its extension replaced by ".DDT".
QString FormTextPathFor(const QString &formPath);
// Converts the form and writes its text to FormTextPath through a temporary
// file, so that a form that cannot be converted or written leaves an earlier
// .DDT as it was. False (after "Cannot read <path>") when the form cannot be
// converted; "Cannot write <.DDT path>" does not stop the form being listed
// from `text`.
bool ConvertFormFile(ReaderContext &ctx, const QString &path, QByteArray *text = nullptr);
// Opens a form file alone: one unit-list entry, its objects listed.
void ParseDfm(ReaderContext &ctx, const QString &path);
// Loads the selected form entry's text (its .DDT, made again from the form
// when it is missing) into SourceLines and the object list.
void LoadFormText(ReaderContext &ctx);
// Loads the form beside a unit of a project (its form file, converted in
// memory; no .DDT is written) as the highlighted document, in FormMode. False
// after "Cannot read <path>" when the form cannot be converted.
bool LoadFormOfUnit(ReaderContext &ctx, const QString &formPath);
void ScanRoutines(ProjectModel &model);
// Fills ListingLines from the selected routine-list entries.
void CollectSelectedText(ProjectModel &model);
// The selected routines' text as their files have it, a line feed after each
// line (CollectSelectedText's lines, taken from OwnLines where the unit was
// read with them).
QByteArray SelectedOwnText(ProjectModel &model);

// The file of unit-list entry `index` as found on disk at the entry's full
// path (whatever its case there); exists() is false when there is none. The
// window draws date and size, or "File not found", from it.
QFileInfo UnitEntryFileInfo(const ProjectModel &model, int index);

}  // namespace scrivane
