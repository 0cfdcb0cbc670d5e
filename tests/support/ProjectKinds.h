#pragma once
// One small project of each kind Scrivane opens besides a .dpr (.lpi, .lpk,
// .dproj, .dpk, a .dpr with a .dof or a .cfg), each with a unit whose routine Go lives in an
// include file found through the project's search path (the .dpk's unit names its path).
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
  for (const char *folder : {"Laz", "Pkg", "Del", "D7", "D6"})
    write(QString::fromLatin1(folder) + "/Work.pas",
          "unit Work;\ninterface\nprocedure Go;\nimplementation\n{$I Body.inc}\nend.\n");
  const QByteArray paths = "<SearchPaths><IncludeFiles Value=\"../Shared/inc\"/></SearchPaths>";
  // A package's text may name a path outside its folder; it is read where
  // the package's own project file declares it a search path.
  write("DPack/Pack.dproj",
        "<Project><PropertyGroup><MainSource>Pack.dpk</MainSource>"
        "<DCC_IncludePath>..\\Shared\\inc</DCC_IncludePath></PropertyGroup></Project>");
  write("Laz/app.lpr", "program app;\nuses Work;\nbegin\n  Go;\nend.\n");
  // Older Delphi: the IDE's options (.dof) or dcc32's (.cfg) beside the
  // program; a folder on a Windows drive is no folder here.
  write("D7/Proj.dof",
        "[Compiler]\r\nA=8\r\n[Directories]\r\nOutputDir=\r\n"
        "SearchPath=C:\\Program Files\\Borland\\Delphi7\\Lib;..\\Shared\\inc\r\n");
  write("D6/Proj.cfg", "-$A8\r\n-$O+\r\n-U\"..\\Shared\\units\"\r\n-I\"..\\Shared\\inc\"\r\n");
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
      write("D7/Proj.dpr", "program Proj;\nuses Work;\nbegin\n  Go;\nend.\n"),
      write("D6/Proj.dpr", "program Proj;\nuses Work;\nbegin\n  Go;\nend.\n"),
  };
}

}  // namespace testsupport
