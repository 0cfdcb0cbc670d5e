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

// Why a PDF must not replace what `output` names; empty when it may. An
// existing target must be a regular file the user may write, and a PDF
// (its first bytes "%PDF-") unless `replaceAnyFile` (an empty file holds
// nothing to lose). A pipe or a device is refused too: a pipe without a
// reader would block for ever; and so is a symbolic link that leads
// nowhere, whose target writing would create. The program's own standard output is
// accepted whatever it is.
QString OutputTargetProblem(const QString &output, bool replaceAnyFile);
// The message for a refused target: "Cannot print to PATH: REASON." and,
// for a file that is only not a PDF, how to replace it all the same.
enum class ForceHint { CommandLine, Window };
QString RefuseOutputTarget(const QString &output, bool replaceAnyFile, ForceHint hint);
inline constexpr const char *kNotPdfProblem =
    "it is not a PDF file (its first bytes are not %PDF-)";

}  // namespace scrivane
