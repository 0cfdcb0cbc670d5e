#pragma once
// Paths as the Object Pascal files write them ("units\Main.pas",
// "C:\Work\Main.pas") mapped onto this file system, which is case-sensitive
// while the project files and the program's lists ignore case.
#include <QHash>
#include <QString>
#include <memory>

namespace scrivane {

// Both "\" and "/" count as separators; the result uses "/" only.
QString NormalizeSeparators(const QString &path);
// True for "/x", "\x" and drive-letter paths such as "C:\x" or "c:/x".
bool IsAbsolutePath(const QString &path);
// The part after the last separator (or after a drive "C:"): "Main.pas".
QString FileNamePart(const QString &path);
// Everything up to and including the last separator, "/" separators; empty
// when the path has none.
QString DirectoryPart(const QString &path);
// `relative` read from a file, taken relative to `directory` unless it is
// absolute itself. Separators are normalised.
QString JoinPath(const QString &directory, const QString &relative);
// How paths are shown: exactly as on disk or as typed. Compare them with
// ComparablePath, never by their shown text.
QString DisplayPath(const QString &path);
// A path the user gave (on the command line, in a file dialog) names its
// file literally: "\" there is part of a name, as Linux allows, and only
// "/" parts folders. The file name, the folder with its trailing "/" (empty
// when there is none) and the absolute path of such a path.
QString UserFileName(const QString &path);
QString UserDirectory(const QString &path);
QString AbsoluteUserPath(const QString &path);

// The path of an existing file or folder that matches `path` when case is
// ignored in every component (an exact match is preferred, and the path
// exactly as given first of all), or an empty string when there is none.
// A folder's listing is kept while the folder is unchanged, so that many
// look-ups in one folder cost one listing. Relative paths are taken from the current
// folder and stay relative. A drive letter is dropped ("C:\x" looks at "/x").
QString FindFileAnyCase(const QString &path);
// True when FindFileAnyCase finds a regular file.
bool FileExistsAnyCase(const QString &path);

// FindFileAnyCase for many names, each folder listed once and its names
// kept in a map, so looking up n names in a folder of m files costs about
// n + m, not n x m. A finder is meant for one reading of a project; files
// made after a folder was listed are found only by their exact name.
class FileFinder {
 public:
  QString Find(const QString &path);
  bool FileExists(const QString &path);

 private:
  // Lower-cased name -> the name on disk (the first in name order).
  const QHash<QString, QString> &Listing(const QString &folder);
  QHash<QString, std::shared_ptr<const QHash<QString, QString>>> folders_;
};

// Folder of the running program, with a trailing "/".
QString ProgramDirectory();
// The user's configuration folder with a trailing "/": $XDG_CONFIG_HOME when
// it holds an absolute path, otherwise ~/.config/.
QString UserConfigDirectory();
// The settings file of a program in `programDirectory` (trailing "/"):
// "scrivn.ini" there when that folder is writable, as a build folder or an
// unpacked copy is; otherwise, and always for an installed copy (its folder
// sits beside "../share/scrivane"), "scrivane/scrivn.ini" in `configDirectory`.
// An installed program must not write beside itself even where it could,
// as in ~/.local/bin or when run by root.
QString SettingsFilePathFor(const QString &programDirectory, const QString &configDirectory);
// SettingsFilePathFor the running program and the user's configuration folder.
QString SettingsFilePath();
// Creates the folder that holds `settingsPath` when it is missing, so the
// first save in the configuration folder can succeed. False when it cannot.
bool MakeSettingsFolder(const QString &settingsPath);

// `text` with every control character but the line feed (C0, DEL, C1)
// written as "\xHH", so that a file name or a project's text in a message
// cannot move the cursor, retitle the terminal or clear it. With
// `escapeBackslash` (a listing for scripts), "\" becomes "\\", tab and line
// feed "\t" and "\n", so that every entry stays one line and reads back
// unambiguously.
QString EscapeControlCharacters(const QString &text, bool escapeBackslash = false);

// A folder for Qt's runtime files where XDG_RUNTIME_DIR is unset:
// "<temp>/scrivane-runtime-UID", made with mkdir and mode 0700, and used only
// when lstat shows a folder (not a link) that this user owns and no one
// else may enter; another user may have made that name first. Otherwise a
// fresh folder from mkdtemp. Empty when neither can be had.
QString PrivateRuntimeFolder();

// Why the file at `path` cannot be read ("it is a folder", "Permission
// denied"); empty when it can. A pipe or a device is refused without being
// opened: opening a pipe with no writer blocks.
QString WhyUnreadable(const QString &path);

}  // namespace scrivane
