#pragma once
// A listing must never be written over the file it lists: scrivane-print
// stock.pas -o stock.pas would replace the source with a PDF.
#include <QString>
#include <QStringList>

namespace scrivane {

// Empty when `output` may be written; otherwise the message that says why
// not. Refused: an output that is one of `inputs` once links are followed
// and case is ignored (the readers find files whatever their case), or that
// shares its file with one (a hard link). An output that does not exist yet
// replaces nothing and is always accepted.
QString RefuseOutputOverInput(const QString &output, const QStringList &inputs);

}  // namespace scrivane
