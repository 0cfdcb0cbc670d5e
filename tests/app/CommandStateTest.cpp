#include <gtest/gtest.h>

#include <QSet>

#include "app/CommandState.h"

using namespace scrivane;

namespace {

struct ModelShape {
  int units = 0;
  int selectedUnit = -1;
  QString currentUnit;
  bool projectLoaded = false;
  bool routineSelected = false;
};

ProjectModel MakeModel(const ModelShape &shape) {
  ProjectModel model;
  for (int i = 0; i < shape.units; ++i)
    model.Units << UnitEntry{QStringLiteral("u%1.pas").arg(i),
                             QStringLiteral("/p/u%1.pas").arg(i),
                             EntryKind::UnitInProject,
                             {}};
  model.SelectedUnit = shape.selectedUnit;
  model.CurrentUnitPath = shape.currentUnit;
  model.ProjectLoaded = shape.projectLoaded;
  model.Routines << RoutineEntry{"procedure a;", EntryKind::Procedure, shape.routineSelected};
  return model;
}

// Expected state written as the names of the enabled commands.
QSet<QString> Enabled(const CommandState &s) {
  QSet<QString> on;
  const std::pair<bool, const char *> flags[] = {
      {s.prevUnit, "prevUnit"},          {s.prevProc, "prevProc"},   {s.prevProj, "prevProj"},
      {s.printUnit, "printUnit"},        {s.printProc, "printProc"}, {s.printProj, "printProj"},
      {s.entireProj, "entireProj"},      {s.clearBtn, "clear"},      {s.printBtn, "print"},
      {s.previewBtn, "preview"},         {s.copyBtn, "copy"},        {s.captureBtn, "capture"},
      {s.unitHighlighted, "highlighted"}};
  for (const auto &[value, name] : flags)
    if (value) on.insert(QString::fromLatin1(name));
  return on;
}

QSet<QString> Names(std::initializer_list<const char *> names) {
  QSet<QString> set;
  for (const char *n : names) set.insert(QString::fromLatin1(n));
  return set;
}

struct Row {
  const char *what;
  ModelShape shape;
  bool projectTab;
  QStringList existingFiles;
  QSet<QString> enabled;
  QString caption;
};

}  // namespace

TEST(CommandState, FollowsTheModelRowByRow) {
  const QString unit = QStringLiteral("/p/u0.pas");
  const Row rows[] = {
      {"empty model", {}, true, {}, {}, QString()},
      {"units listed, none loaded",
       {2, -1, {}, true, false},
       true,
       {},
       Names({"print", "preview"}),
       QString()},
      {"selected but not loaded yet",
       {2, 0, {}, true, false},
       true,
       {},
       Names({"print", "preview"}),
       QString()},
      {"unit of a project highlighted",
       {2, 0, unit, true, false},
       true,
       {},
       Names({"print", "preview", "highlighted", "prevUnit", "prevProc", "printUnit", "printProc",
              "entireProj", "printProj", "prevProj"}),
       HighlightedUnitCaption},
      {"unit opened alone",
       {1, 0, unit, false, false},
       true,
       {},
       Names({"print", "preview", "highlighted", "prevUnit", "prevProc", "printUnit", "printProc"}),
       HighlightedUnitCaption},
      {"routine selected in a project",
       {2, 0, unit, true, true},
       true,
       {},
       Names({"print", "preview", "prevUnit", "prevProc", "printUnit", "printProc", "entireProj",
              "printProj", "prevProj", "copy", "clear"}),
       HighlightedRoutinesCaption},
      {"routine selected, image tab",
       {2, 0, unit, false, true},
       false,
       {},
       Names({"print", "preview", "prevUnit", "prevProc", "printUnit", "printProc"}),
       HighlightedRoutinesCaption},
      {"image tab, form file but no image",
       {2, 0, unit, true, false},
       false,
       {QStringLiteral("/p/u0.dfm")},
       Names({"print", "preview", "highlighted", "prevUnit", "prevProc", "printUnit", "printProc",
              "entireProj", "printProj", "prevProj", "capture"}),
       HighlightedUnitCaption},
      {"image tab with image and form",
       {1, 0, unit, false, false},
       false,
       {QStringLiteral("/p/u0.dfm"), QStringLiteral("/p/u0.bmp")},
       Names({"print", "preview", "highlighted", "prevUnit", "prevProc", "printUnit", "printProc",
              "capture", "copy", "clear"}),
       HighlightedUnitCaption},
      {"project tab ignores the image",
       {1, 0, unit, false, false},
       true,
       {QStringLiteral("/p/u0.dfm"), QStringLiteral("/p/u0.bmp")},
       Names({"print", "preview", "highlighted", "prevUnit", "prevProc", "printUnit", "printProc"}),
       HighlightedUnitCaption},
      {"path without a dot has no image",
       {1, 0, QStringLiteral("/p/noext"), false, false},
       false,
       {QStringLiteral("/p/noext"), QStringLiteral("/p/noextbmp")},
       Names({"print", "preview", "highlighted", "prevUnit", "prevProc", "printUnit", "printProc"}),
       HighlightedUnitCaption},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    const ProjectModel model = MakeModel(row.shape);
    const auto exists = [&row](const QString &p) { return row.existingFiles.contains(p); };
    const CommandState state = ComputeCommandState(model, row.projectTab, exists);
    EXPECT_EQ(Enabled(state), row.enabled);
    EXPECT_EQ(state.unitItemCaption, row.caption);
  }
}

TEST(CommandState, ImageStemEndsAtTheFirstDotOfTheFileName) {
  const std::pair<const char *, const char *> rows[] = {
      {"c:/proj/unit1.pas", "c:/proj/unit1."},
      {"c:\\proj\\unit1.pas", "c:\\proj\\unit1."},
      {"/home/a.b/unit1.pas", "/home/a.b/unit1."},  // a dotted folder does not cut the stem
      {"/home/a.b/unit1.old.pas", "/home/a.b/unit1."},
      {"/p/noext", ""},
      {"", ""},
  };
  for (const auto &[path, stem] : rows)
    EXPECT_EQ(ImageStem(QString::fromLatin1(path)), QString::fromLatin1(stem)) << path;
}
