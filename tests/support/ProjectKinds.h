#pragma once
// One small project of each kind Scrivane opens besides a .dpr (.lpi, .lpk,
// .dproj, .dpk), each with a unit whose routine Go lives in an include file
// found through the project's search path (the .dpk's unit names its path).
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

namespace testsupport {

// One small project of each kind, each with a unit whose routine lives in
// an include file the project's search path finds.
inline QStringList WriteProjectKinds(const QTemporaryDir &dir) {
  auto write = [&dir](const QString &relative, const QByteArray &text) {
    const QString path = dir.path() + "/" + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return path;
  };
  write("Shared/inc/Body.inc", "procedure Go;\nbegin\n  WriteLn('go');\nend;\n");
  write("DPack/Work.pas",
        "unit Work;\ninterface\nprocedure Go;\nimplementation\n{$I "
        "..\\Shared\\inc\\Body.inc}\nend.\n");
  for (const char *folder : {"Laz", "Pkg", "Del"})
    write(QString::fromLatin1(folder) + "/Work.pas",
          "unit Work;\ninterface\nprocedure Go;\nimplementation\n{$I Body.inc}\nend.\n");
  const QByteArray paths = "<SearchPaths><IncludeFiles Value=\"../Shared/inc\"/></SearchPaths>";
  // A package's text may name a path outside its folder; it is read where
  // the package's own project file declares it a search path.
  write("DPack/Pack.dproj",
        "<Project><PropertyGroup><MainSource>Pack.dpk</MainSource>"
        "<DCC_IncludePath>..\\Shared\\inc</DCC_IncludePath></PropertyGroup></Project>");
  write("Laz/app.lpr", "program app;\nuses Work;\nbegin\n  Go;\nend.\n");
  return {
      write("Laz/App.lpi",
            "<?xml version=\"1.0\"?><CONFIG><ProjectOptions><Units><Unit><Filename "
            "Value=\"app.lpr\"/>"
            "<IsPartOfProject Value=\"True\"/></Unit></Units></ProjectOptions><CompilerOptions>" +
                paths + "</CompilerOptions></CONFIG>"),
      write("Pkg/Pack.lpk",
            "<?xml version=\"1.0\"?><CONFIG><Package><CompilerOptions>" + paths +
                "</CompilerOptions><Files><Item1><Filename Value=\"Work.pas\"/></Item1></Files>"
                "</Package></CONFIG>"),
      write(
          "Del/Proj.dproj",
          "<Project><PropertyGroup><DCC_IncludePath>..\\Shared\\inc</DCC_IncludePath>"
          "</PropertyGroup><ItemGroup><DCCReference Include=\"Work.pas\"/></ItemGroup></Project>"),
      write("DPack/Pack.dpk", "package Pack;\nrequires rtl;\ncontains Work in 'Work.pas';\nend.\n"),
  };
}

}  // namespace testsupport
