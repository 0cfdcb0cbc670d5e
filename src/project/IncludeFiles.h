#pragma once
// Include files as Free Pascal reads them: "{$I name}" and "{$INCLUDE name}"
// put the named file's text where the directive stands. A unit whose classes
// are implemented in include files (the LCL's controls.pp and its seventeen
// .inc files) is only whole with them.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <vector>

namespace scrivane {

class FileFinder;

struct IncludeDirective {
  QByteArray name;        // as written, without quotes: "control.inc", "include/x"
  qsizetype lineEnd = 0;  // where the line holding the directive's end ends (after its line break)
  int line = 0;           // that line, from 1
};

// The include directives of `text`, in order, read as the compiler reads
// them: directives inside comments or strings do not count, nor "{$I+}",
// "{$I-}" (I/O checking) and "{$I %DATE%}" (a text the compiler makes).
// Every {$IFDEF} branch counts.
std::vector<IncludeDirective> FindIncludeDirectives(QByteArrayView text);

// The file `name` stands for, as Free Pascal looks for it: the folder of
// the file that holds the directive, then each search folder in order; a
// name without an extension is tried as written, then with ".inc", ".pp"
// and ".pas"; "*" stands for the including file's own name. Case is
// ignored on disk. Empty when no file is found.
QString ResolveIncludeFile(QByteArrayView name, const QString &includingFile,
                           const QStringList &searchFolders, FileFinder &finder);

}  // namespace scrivane
