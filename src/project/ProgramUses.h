#pragma once
// The uses clause of a program file. A Lazarus project (.lpr) names its units
// there without a file ("uses Interfaces, Forms, Unit1;"): the compiler finds
// them on its search path, which for the project's own units is its folder.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace scrivane {

struct ReaderContext;

struct UsesItem {
  QByteArray name;  // as written: "Unit1", "Tools.Strings"
  QByteArray path;  // the text of its "in '...'" part, empty when none
};

// The items of the first clause that starts with `keyword` ("uses" in a
// program, "contains" in a package) in `source`, in order. Comments,
// compiler directives ({$IFDEF UNIX} cthreads, {$ENDIF}: both branches) and
// string contents never count as names.
QList<UsesItem> ProgramUsesClause(QByteArrayView source, QByteArrayView keyword = "uses");

// Adds to the unit list, as project units and in the clause's order, the
// units of the program's uses clause (a package's contains clause) that
// name their file with "in" (listed even when it is missing, so that the
// list shows it missing) or that are files in the project folder or on the
// project's unit search path (a name tried with each unit extension, ".pas"
// first as Delphi projects expect). Units already listed and units found
// nowhere there (the LCL, the RTL) are left out.
void AddProgramUsesUnits(ReaderContext &ctx, QByteArrayView source,
                         QByteArrayView keyword = "uses");

}  // namespace scrivane
