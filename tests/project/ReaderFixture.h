#pragma once
// A scratch folder of source files and a model to read them into.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/RecordedMessages.h"
#include "platform/UserMessages.h"
#include "project/Readers.h"

namespace readertest {

class ReaderFixture : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  scrivane::ProjectModel model;
  scrivane::RecordedMessages messages;
  // The readers' choices, as a test sets them (ctx.choices).
  scrivane::ReaderContext ctx{model, {}, messages, false, {}};
  // Most tests look at the routines an interface offers; those that list
  // the implementation part's own routines say so.
  ReaderFixture() { ctx.choices.implementationRoutines = false; }

  QString Path(const QString &relative) const { return dir.path() + "/" + relative; }

  QString Write(const QString &relative, const QByteArray &content) {
    const QString path = Path(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return path;
  }

  // Opens a unit alone and returns its statement lines.
  QList<QByteArray> LoadLines(const QByteArray &source) {
    const QString path = Write("u.pas", source);
    scrivane::ClearForOpen(model);
    scrivane::OpenPath(ctx, path);
    return model.SourceLines.toList();
  }

  QList<QByteArray> RoutineTexts() const {
    QList<QByteArray> texts;
    for (const auto &r : model.Routines) texts << r.text;
    return texts;
  }

  QStringList UnitNames() const {
    QStringList names;
    for (const auto &u : model.Units) names << u.name;
    return names;
  }
};

}  // namespace readertest
