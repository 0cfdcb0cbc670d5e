// Opening a form file: its object text, the .DDT beside it, and the object
// list.
#include <QFile>
#include <QFileInfo>

#include "platform/Paths.h"
#include "platform/ReplacingFile.h"
#include "platform/Text1252.h"
#include "platform/UserMessages.h"
#include "project/FormTextParser.h"
#include "project/ReaderText.h"
#include "project/Readers.h"
#include "project/SourceFile.h"
#include "project/SourceLexer.h"

namespace scrivane {
using namespace readertext;

namespace {

// No real form comes near this; a larger file is refused before it is read.
constexpr qint64 kLargestFormFile = qint64(256) << 20;

constexpr const char *kParsingStatus = " Parsing file please wait...";

void ShowStatus(ReaderContext &ctx, const QString &text) {
  if (ctx.showStatus) ctx.showStatus(text);
}

bool StartsForm(QByteArrayView lowerTrimmed) {
  return StartsWithIgnoringCase(lowerTrimmed, "object ") ||
         StartsWithIgnoringCase(lowerTrimmed, "inherited ") ||
         StartsWithIgnoringCase(lowerTrimmed, "inline ");
}

// Fills SourceLines and the object list from the form's text.
void LoadFormLines(ReaderContext &ctx, QByteArrayView text, const QString &formPath) {
  ProjectModel &model = ctx.model;
  model.CurrentUnitPath = formPath;
  const bool lower = ctx.choices.lowerCase;
  // Numbered as the file's lines, a form saved as text is listed as the
  // file has it, line for line, rather than as its objects read back (which
  // joins and splits values): each row then carries its line's number.
  QByteArray own;
  if (ctx.choices.formLinesAsInFile) {
    QFile file(formPath);
    if (file.size() <= kLargestFormFile && file.open(QIODevice::ReadOnly)) {
      own = file.readAll();
      if (!LooksLikeFormText(std::string_view(own.constData(), size_t(own.size())))) own.clear();
    }
  }
  FormTextNormaliser normaliser;
  int fileLine = 0;
  ForEachLine(own.isEmpty() ? text : QByteArrayView(own), [&](QByteArrayView raw) {
    // Strings print as the form holds them.
    model.SourceLines.append(normaliser.NormaliseKeepingStrings(Trimmed(raw), lower),
                             own.isEmpty() ? 0 : ++fileLine);
  });
  model.DeclaredRoutines.clear();
  QList<RoutineEntry> entries;
  for (qsizetype i = 0; i < model.SourceLines.size(); ++i) {
    const QByteArray s = Lower(Trimmed(model.SourceLines[i]));
    // Inherited and inline objects are objects of the form as well.
    if (!StartsForm(s)) continue;
    RoutineEntry entry{s, EntryKind::FormObject, false};
    entry.line = int(i);
    entries.append(entry);
    model.DeclaredRoutines.append(s);
  }
  model.AddRoutines(entries);
  model.FormMode = true;
}

// The path of the entry to load: the selected entry's own path, never what
// the unit list happened to paint last.
QString SelectedFormPath(const ProjectModel &model) {
  if (model.SelectedUnit >= 0 && model.SelectedUnit < model.Units.size())
    return model.Units.at(model.SelectedUnit).fullPath;
  return model.CurrentUnitPath;
}

}  // namespace

QString FormTextPathFor(const QString &formPath) {
  const qsizetype nameStart = formPath.size() - FileNamePart(formPath).size();
  const qsizetype dot = formPath.lastIndexOf(u'.');
  const QString stem = dot >= nameStart ? formPath.left(dot) : formPath;
  return stem + QStringLiteral(".DDT");
}

FormConversion ReadFormFile(const QString &path) {
  FormConversion result;
  result.diskPath = FindFileAnyCase(path);
  if (result.diskPath.isEmpty() || !QFileInfo(result.diskPath).isFile()) {
    result.status = FormStatus::Missing;
    return result;
  }
  QFile file(result.diskPath);
  if (file.size() > kLargestFormFile) {
    result.status = FormStatus::Unreadable;
    result.reason = QStringLiteral("it is larger than %1 MB").arg(kLargestFormFile >> 20);
    return result;
  }
  if (!file.open(QIODevice::ReadOnly)) {
    result.status = FormStatus::Unreadable;
    result.reason = file.errorString();
    return result;
  }
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    result.status = FormStatus::Unreadable;
    result.reason = file.errorString();
    return result;
  }
  const FormTextResult converted =
      ConvertFormBytes(std::string_view(bytes.constData(), size_t(bytes.size())));
  if (!converted.ok) {
    result.status = FormStatus::Malformed;
    result.error = converted.error;
    return result;
  }
  result.status = FormStatus::Ok;
  result.text = QByteArray(converted.text.data(), qsizetype(converted.text.size()));
  return result;
}

QString FormFailureText(const QString &shownPath, const FormConversion &conversion) {
  QString details;
  switch (conversion.status) {
    case FormStatus::Ok:
      return QString();
    case FormStatus::Missing:
      details = QStringLiteral("The file was not found.");
      break;
    case FormStatus::Unreadable:
      details = conversion.reason + u'.';
      break;
    case FormStatus::Malformed:
      details = QStringLiteral("The form could not be decoded at byte %1: %2.")
                    .arg(conversion.error.offset)
                    .arg(QString::fromStdString(conversion.error.message));
      break;
  }
  if (!details.isEmpty()) details[0] = details[0].toUpper();
  return QStringLiteral("Cannot read ") + shownPath + u'\n' + details;
}

bool ConvertFormFile(ReaderContext &ctx, const QString &path, QByteArray *text) {
  const FormConversion conversion = ReadFormFile(path);
  ctx.model.FormTextPath =
      FormTextPathFor(conversion.diskPath.isEmpty() ? path : conversion.diskPath);
  if (conversion.status != FormStatus::Ok) {
    ctx.messages.Information(FormFailureText(DisplayPath(path), conversion));
    return false;
  }
  if (text) *text = conversion.text;
  if (ctx.noFormTextFile) return true;
  // Written whole or not at all: a failure (a full disk included) keeps the
  // earlier .DDT. A link in its place (planted in a downloaded project) is
  // refused, never written through.
  ReplacingFile out(ctx.model.FormTextPath, LinkPolicy::Refuse);
  if (!out.open()) {
    QString text = QStringLiteral("Cannot write ") + ctx.model.FormTextPath;
    if (out.refused())
      text += QStringLiteral(": ") + out.failureReason() + QStringLiteral("; nothing was written.");
    ctx.messages.Information(text);
  } else if (out.write(conversion.text) != conversion.text.size() || !out.commit()) {
    ctx.messages.Information(QStringLiteral("Cannot write ") + ctx.model.FormTextPath);
  }
  return true;
}

void ParseDfm(ReaderContext &ctx, const QString &path) {
  ProjectModel &model = ctx.model;
  QByteArray text;
  ShowStatus(ctx, QString::fromLatin1(kParsingStatus));
  if (!ConvertFormFile(ctx, path, &text)) {
    ShowStatus(ctx, QString());
    return;
  }
  model.OpenAlone(path, EntryKind::FormFile);
  ctx.messages.SetBusy(true);
  model.SourceLines.clear();
  model.ClearRoutines();
  // The text just converted, whether or not the .DDT could be written.
  LoadFormLines(ctx, text, model.Units.at(0).fullPath);
  ShowStatus(ctx, QStringLiteral(" Unit: ") + model.CurrentUnitPath);
  ctx.messages.SetBusy(false);
}

void LoadFormText(ReaderContext &ctx) {
  ProjectModel &model = ctx.model;
  model.ClearRoutines();
  model.SourceLines.clear();
  model.DeclaredRoutines.clear();
  const QString formPath = SelectedFormPath(model);
  if (model.FormTextPath.isEmpty()) model.FormTextPath = FormTextPathFor(formPath);
  ctx.messages.SetBusy(true);
  ShowStatus(ctx, QString::fromLatin1(kParsingStatus));
  QByteArray text;
  QFile ddt(model.FormTextPath);
  // A .DDT that is a link or a pipe was never written by us: the form is
  // read again.
  const QFileInfo ddtInfo(model.FormTextPath);
  if (ddtInfo.isFile() && !ddtInfo.isSymLink() && ddt.open(QIODevice::ReadOnly)) {
    text = ddt.readAll();
  } else {
    // A .DDT deleted since the form was opened is made again from the form.
    const FormConversion conversion = ReadFormFile(formPath);
    if (conversion.status != FormStatus::Ok) {
      model.CurrentUnitPath.clear();
      ShowStatus(ctx, QString());
      ctx.messages.SetBusy(false);
      if (conversion.status == FormStatus::Missing)
        ctx.messages.Warning(formPath + QStringLiteral(" not found."));
      else
        ctx.messages.Information(FormFailureText(formPath, conversion));
      return;
    }
    text = conversion.text;
  }
  LoadFormLines(ctx, text, formPath);
  ShowStatus(ctx, QStringLiteral(" Unit: ") + model.CurrentUnitPath);
  ctx.messages.SetBusy(false);
}

bool LoadFormOfUnit(ReaderContext &ctx, const QString &formPath) {
  ProjectModel &model = ctx.model;
  if (const QString problem = model.Scope.Problem(formPath); !problem.isEmpty()) {
    const QString text = QStringLiteral("%1: left out: %2.").arg(formPath, problem);
    ctx.messages.Note(text);
    if (ctx.showStatus) ctx.showStatus(text);
    return false;
  }
  const FormConversion conversion = ReadFormFile(formPath);
  if (conversion.status != FormStatus::Ok) {
    ctx.messages.Information(QStringLiteral("Cannot read ") + DisplayPath(formPath));
    return false;
  }
  model.ClearRoutines();
  model.SourceLines.clear();
  model.DeclaredRoutines.clear();
  model.FormTextPath =
      FormTextPathFor(conversion.diskPath.isEmpty() ? formPath : conversion.diskPath);
  LoadFormLines(ctx, conversion.text,
                conversion.diskPath.isEmpty() ? formPath : conversion.diskPath);
  return true;
}

}  // namespace scrivane
