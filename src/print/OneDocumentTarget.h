#pragma once
// Several print runs into one document: the first run begins it, every
// later run starts on a new sheet, and only Finish ends it. A book of many
// listings is one file, one printer job and one outline this way.
#include "print/PrintRunner.h"

namespace scrivane {

class OneDocumentTarget : public PrintTarget {
 public:
  explicit OneDocumentTarget(PrintTarget &inner) : inner_(inner) {}
  PageDevice &device() override { return inner_.device(); }
  bool beginDocument(const QString &title) override {
    if (begun_) {
      inner_.newSheet();
      return true;
    }
    begun_ = inner_.beginDocument(title);
    return begun_;
  }
  QString errorText() const override { return inner_.errorText(); }
  DrawSurface &surface() override { return inner_.surface(); }
  void newSheet() override { inner_.newSheet(); }
  bool endDocument() override { return true; }
  void abortDocument() override {
    if (aborted_) return;
    aborted_ = true;
    inner_.abortDocument();
  }
  // False, with the reason in errorText(), when the file could not be written whole.
  bool Finish() { return !begun_ || aborted_ || inner_.endDocument(); }
  bool Begun() const { return begun_; }

 private:
  PrintTarget &inner_;
  bool begun_ = false;
  bool aborted_ = false;
};

}  // namespace scrivane
