#include "project/ProjectFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <cctype>

#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "project/Readers.h"
#include "project/SourceFile.h"

namespace scrivane {
namespace {

// Whether the file's first word of code is "program" or "library": Lazarus
// keeps a program in a ".pp" or ".pas" file as readily as in a ".lpr" (48
// of the 290 projects of its own tree), and the compiler reads it as the
// program whatever its name.
bool ReadsAsProgram(const QString &path) {
  const QString onDisk = FindFileAnyCase(path);
  if (onDisk.isEmpty()) return false;
  const SourceFile file = ReadSourceFile(onDisk);
  if (file.status != SourceStatus::Ok) return false;
  const QByteArrayView text(file.bytes);
  qsizetype i = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
  const qsizetype n = text.size();
  auto skipPast = [&](QByteArrayView end) {
    const qsizetype at = text.indexOf(end, i);
    i = at < 0 ? n : at + end.size();
  };
  while (i < n) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
      ++i;
    } else if (c == '{') {
      skipPast("}");
    } else if (c == '(' && i + 1 < n && text[i + 1] == '*') {
      i += 2;
      skipPast("*)");
    } else if (c == '/' && i + 1 < n && text[i + 1] == '/') {
      skipPast("\n");
    } else {
      break;
    }
  }
  qsizetype end = i;
  while (end < n && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_'))
    ++end;
  const QByteArray word = text.sliced(i, end - i).toByteArray().toLower();
  return word == "program" || word == "library";
}

bool EndsWith(const QString &name, const char *extension) {
  return name.endsWith(QLatin1String(extension), Qt::CaseInsensitive);
}

// The folder a search-path entry names, absolute with a "/" at its end; or
// an empty text when it holds a macro that cannot be told here. The macros
// of the folder itself and of this machine's target are known, and the
// output folder's when `outputFolder` is given (absolute, ending in "/").
QString ResolveFolder(const QString &entry, const QString &baseFolder, bool *unresolved,
                      const QString &outputFolder = {}) {
  QString text = entry.trimmed();
  *unresolved = false;
  if (text.isEmpty()) return {};
  static const QHash<QString, QString> machine = {
      {QStringLiteral("targetos"), QStringLiteral("linux")},
      {QStringLiteral("srcos"), QStringLiteral("unix")},
      {QStringLiteral("srcos2"), QStringLiteral("unix")},
      {QStringLiteral("targetcpu"), QStringLiteral("x86_64")},
      // Lazarus 2.2's own choice on Linux when the project makes none.
      {QStringLiteral("lclwidgettype"), QStringLiteral("gtk2")},
  };
  static const QRegularExpression macro(QStringLiteral("\\$\\(([A-Za-z_0-9]+)\\)"));
  QString resolved;
  qsizetype at = 0;
  for (auto it = macro.globalMatch(text); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    resolved += text.mid(at, m.capturedStart() - at);
    const QString name = m.captured(1).toLower();
    if (name == u"projpath" || name == u"pkgdir" || name == u"pkgsrcdir" || name == u"projectdir") {
      resolved += baseFolder;
    } else if (machine.contains(name)) {
      resolved += machine.value(name);
    } else if ((name == u"projoutdir" || name == u"pkgoutdir") && !outputFolder.isEmpty()) {
      resolved += outputFolder;
    } else {
      *unresolved = true;
      return {};
    }
    at = m.capturedEnd();
  }
  resolved += text.mid(at);
  QString folder = QDir::cleanPath(JoinPath(baseFolder, resolved));
  if (!folder.endsWith(u'/')) folder += u'/';
  return folder;
}

void AddFolders(const QString &value, const QString &baseFolder, QStringList &folders,
                QStringList &unresolved, const QString &outputFolder = {}) {
  for (const QString &entry : value.split(u';', Qt::SkipEmptyParts)) {
    // Delphi's "$(DCC_UnitSearchPath)" adds the paths set before: none here.
    if (entry.trimmed().startsWith(QLatin1String("$(DCC_"), Qt::CaseInsensitive)) continue;
    bool open = false;
    const QString folder = ResolveFolder(entry, baseFolder, &open, outputFolder);
    if (open)
      unresolved << entry.trimmed();
    else if (!folder.isEmpty() && !folders.contains(folder))
      folders << folder;
  }
}

struct ListedFile {
  QString name;
  bool partOfProject = true;
  QString type;
};

}  // namespace

bool IsProjectDescriptionFile(const QString &fileName) {
  return EndsWith(fileName, ".lpi") || EndsWith(fileName, ".lpk") || EndsWith(fileName, ".dproj");
}

ProjectFileContents ReadDelphiOptions(const QString &path) {
  ProjectFileContents contents;
  // A few hundred bytes as Delphi writes them: a large file of that name is
  // something else, not read whole to find out.
  if (QFileInfo(path).size() > (1 << 20)) {
    contents.error = path + QStringLiteral(" is too large for an options file.");
    return contents;
  }
  const SourceFile file = ReadSourceFile(path);
  if (file.status != SourceStatus::Ok) {
    contents.error = SourceFileMessage(file, path);
    return contents;
  }
  const QString base = QFileInfo(file.diskPath).absolutePath() + u'/';
  const bool dof = EndsWith(path, ".dof");
  const auto add = [&](const QString &value, QStringList &folders) {
    QStringList kept;
    for (const QString &entry : NormalizeSeparators(value).split(u';', Qt::SkipEmptyParts)) {
      const QString trimmed = entry.trimmed();
      if (trimmed.size() >= 2 && trimmed[1] == u':') continue;  // a Windows drive
      kept << trimmed;
    }
    AddFolders(kept.join(u';'), base, folders, contents.unresolved);
  };
  bool inDirectories = false;
  ForEachLine(file.bytes, [&](QByteArrayView raw) {
    const QString line = Decode1252(raw.data(), raw.size()).trimmed();
    if (dof) {
      if (line.startsWith(u'[')) {
        inDirectories = line.compare(QLatin1String("[Directories]"), Qt::CaseInsensitive) == 0;
      } else if (inDirectories &&
                 line.startsWith(QLatin1String("SearchPath="), Qt::CaseInsensitive)) {
        const QString value = line.mid(11);
        add(value, contents.unitFolders);
        add(value, contents.includeFolders);
      }
      return;
    }
    // -U"..\common;..\lib" (quotes optional), -I the same.
    if (line.size() < 3 || line[0] != u'-') return;
    const QChar option = line[1].toUpper();
    if (option != u'U' && option != u'I') return;
    QString value = line.mid(2).trimmed();
    value.remove(u'"');
    add(value, option == u'U' ? contents.unitFolders : contents.includeFolders);
  });
  contents.ok = true;
  return contents;
}

ProjectFileContents ReadProjectDescription(const QString &path) {
  ProjectFileContents contents;
  const QString onDisk = FindFileAnyCase(path);
  QFile file(onDisk.isEmpty() ? path : onDisk);
  if (onDisk.isEmpty()) {
    contents.error = path + QStringLiteral(" not found.");
    return contents;
  }
  if (const QString why = WhyUnreadable(file.fileName());
      !why.isEmpty() || !file.open(QIODevice::ReadOnly)) {
    contents.error = QStringLiteral("Cannot read ") + path + QStringLiteral(": ") +
                     (why.isEmpty() ? file.errorString() : why);
    return contents;
  }
  const QString base = QFileInfo(file.fileName()).absolutePath() + u'/';
  const bool delphi = EndsWith(path, ".dproj");
  QXmlStreamReader xml(&file);
  QStringList stack;
  QList<ListedFile> listed;
  ListedFile current;
  bool inEntry = false;
  int mainUnit = 0;
  QString mainSource;
  bool unitPathSeen = false, includePathSeen = false;
  struct SearchPath {
    bool include;
    QString value;
  };
  QList<SearchPath> searchPaths;
  QString outputValue;
  while (!xml.atEnd()) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::EndElement) {
      if (inEntry && stack.size() >= 2 &&
          (stack[stack.size() - 2] == u"Units" || stack[stack.size() - 2] == u"Files") &&
          (stack.last().startsWith(u"Unit") || stack.last().startsWith(u"Item"))) {
        if (!current.name.isEmpty()) listed << current;
        inEntry = false;
      }
      if (!stack.isEmpty()) stack.removeLast();
      continue;
    }
    if (token != QXmlStreamReader::StartElement) continue;
    const QString name = xml.name().toString();
    const QString parent = stack.isEmpty() ? QString() : stack.last();
    const QString grand = stack.size() >= 2 ? stack[stack.size() - 2] : QString();
    stack << name;
    const QString value = xml.attributes().value(QLatin1String("Value")).toString();
    if (delphi) {
      if (name == u"DCCReference") {
        listed << ListedFile{
            NormalizeSeparators(xml.attributes().value(QLatin1String("Include")).toString()),
            true,
            {}};
      } else if (name == u"MainSource") {
        mainSource = NormalizeSeparators(xml.readElementText().trimmed());
        stack.removeLast();
      } else if (name == u"DCC_UnitSearchPath" || name == u"DCC_IncludePath") {
        // The first of each (the base configuration's) is the project's own.
        const bool units = name == u"DCC_UnitSearchPath";
        const QString text = NormalizeSeparators(xml.readElementText());
        stack.removeLast();
        bool &seen = units ? unitPathSeen : includePathSeen;
        if (!seen)
          AddFolders(text, base, units ? contents.unitFolders : contents.includeFolders,
                     contents.unresolved);
        seen = true;
      }
      continue;
    }
    // Lazarus: the unit and file lists, the default compiler options.
    if ((parent == u"Units" && name.startsWith(u"Unit")) ||
        (parent == u"Files" && name.startsWith(u"Item"))) {
      current = ListedFile{};
      current.partOfProject = parent == u"Files";
      inEntry = true;
    } else if (inEntry && name == u"Filename") {
      current.name = NormalizeSeparators(value);
    } else if (inEntry && name == u"IsPartOfProject") {
      current.partOfProject = value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    } else if (inEntry && name == u"Type") {
      current.type = value;
    } else if (name == u"MainUnit" && parent == u"General") {
      mainUnit = value.toInt();
    } else if ((name == u"IncludeFiles" || name == u"OtherUnitFiles" ||
                name == u"UnitOutputDirectory") &&
               parent == u"SearchPaths" && grand == u"CompilerOptions" &&
               !stack.contains(QLatin1String("BuildModes"))) {
      if (name == u"UnitOutputDirectory")
        outputValue = value;
      else
        searchPaths << SearchPath{name == u"IncludeFiles", value};
    }
  }
  // Read once the output folder is known, which follows them: a new
  // Lazarus project looks for include files in $(ProjOutDir), where the
  // compiler writes what it makes (lib/x86_64-linux; the project's folder
  // when none is set).
  bool outputOpen = false;
  const QString outputFolder =
      outputValue.trimmed().isEmpty()
          ? QDir::cleanPath(base) + u'/'
          : ResolveFolder(NormalizeSeparators(outputValue), base, &outputOpen);
  for (const SearchPath &entry : std::as_const(searchPaths))
    AddFolders(entry.value, base, entry.include ? contents.includeFolders : contents.unitFolders,
               contents.unresolved, outputOpen ? QString() : outputFolder);
  if (xml.hasError()) {
    contents.error = QStringLiteral("Cannot read ") + path + QStringLiteral(": ") +
                     xml.errorString() + QStringLiteral(" at line ") +
                     QString::number(xml.lineNumber());
    return contents;
  }
  const bool lazarusProject = EndsWith(path, ".lpi");
  if (lazarusProject && mainUnit >= 0 && mainUnit < listed.size() &&
      listed[mainUnit].partOfProject &&
      (!HasUnitExtension(listed[mainUnit].name) ||
       ReadsAsProgram(QDir::cleanPath(JoinPath(base, listed[mainUnit].name)))))
    mainSource = listed[mainUnit].name;
  if (!mainSource.isEmpty()) contents.mainSource = QDir::cleanPath(JoinPath(base, mainSource));
  for (const ListedFile &entry : listed) {
    if (!entry.partOfProject || entry.name.isEmpty()) continue;
    // Include files come in through their units; forms beside theirs.
    if (!entry.type.isEmpty() && entry.type != u"Main Unit" && entry.type != u"Unit") continue;
    if (!HasUnitExtension(entry.name)) continue;
    contents.units << QDir::cleanPath(JoinPath(base, entry.name));
  }
  contents.ok = true;
  return contents;
}

QString ProjectDescriptionFor(const QString &sourcePath, ProjectFileContents *contents) {
  const QFileInfo source(sourcePath);
  const QString sourceFolder = source.absolutePath() + u'/';
  const QString key = ComparablePath(source.absoluteFilePath());
  // One look for each folder a run meets: a sweep over a tree opens every
  // unit of a folder in turn.
  static QHash<QString, QStringList> descriptionsIn;
  QDir folder(sourceFolder);
  for (int level = 0; level < 64; ++level) {
    const QString here = folder.absolutePath();
    auto found = descriptionsIn.find(here);
    if (found == descriptionsIn.end())
      found = descriptionsIn.insert(
          here, folder.entryList({QStringLiteral("*.lpk"), QStringLiteral("*.lpi")}, QDir::Files,
                                 QDir::Name));
    for (const QString &name : *found) {
      ProjectFileContents read = ReadProjectDescription(here + u'/' + name);
      if (!read.ok) continue;
      const QString ownFolder = here.endsWith(u'/') ? here : here + u'/';
      bool covers = sourceFolder == ownFolder || read.includeFolders.contains(sourceFolder) ||
                    read.unitFolders.contains(sourceFolder);
      for (const QString &unit : read.units) covers = covers || ComparablePath(unit) == key;
      if (!covers) continue;
      if (contents) *contents = std::move(read);
      return here + u'/' + name;
    }
    if (!folder.cdUp()) break;
  }
  return {};
}

}  // namespace scrivane
