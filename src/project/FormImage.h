#pragma once
// The form image of a unit: the bitmap beside it named after its file up to
// the first "." followed by "bmp". One rule for the window and the listing,
// on a file system where case matters while the model's paths are lower case.
#include <QString>

namespace scrivane {

class ProjectScope;

// The unit's path up to and including the first "." of its file name (a
// dotted folder does not cut it short); empty when the file name has none.
QString FormImageStem(const QString &unitPath);

struct FormImageFiles {
  QString
      formFile;  // the form beside the unit (stem + "dfm" or "lfm"), as on disk; empty when none
  QString imageFile;   // the image (stem + "bmp") as on disk, whatever its case; empty when none
  QString saveTarget;  // where a pasted image is saved: over imageFile when there is one, else the
                       // lower-case name in the folder as it is on disk; empty without a stem
};

// With a scope, a form or image the opened project may not bring in (a link
// out of its folder) counts as absent.
FormImageFiles FindFormImageFiles(const QString &unitPath, const ProjectScope *scope = nullptr);

}  // namespace scrivane
