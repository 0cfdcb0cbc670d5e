#include "project/ProgramUses.h"

#include <QSet>

#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "project/ReaderText.h"
#include "project/Readers.h"

namespace scrivane {
using namespace readertext;

namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// One token of Pascal text: a name, a string's contents or one other
// character. Comments and blanks are never tokens.
struct Token {
  enum Kind { End, Name, String, Symbol } kind = End;
  QByteArray text;
};

class Tokens {
 public:
  explicit Tokens(QByteArrayView text) : text_(text) {}

  Token Next() {
    SkipBlanksAndComments();
    Token token;
    if (at_ >= text_.size()) return token;
    const char c = text_[at_];
    if (c == '\'') {
      token.kind = Token::String;
      ++at_;
      while (at_ < text_.size()) {
        if (text_[at_] == '\'') {
          if (at_ + 1 < text_.size() && text_[at_ + 1] == '\'') {
            token.text += '\'';
            at_ += 2;
            continue;
          }
          ++at_;
          break;
        }
        token.text += text_[at_++];
      }
    } else if (IsNameChar(c)) {
      token.kind = Token::Name;
      const qsizetype start = at_;
      while (at_ < text_.size() && IsNameChar(text_[at_])) ++at_;
      token.text = text_.sliced(start, at_ - start).toByteArray();
    } else {
      token.kind = Token::Symbol;
      token.text = QByteArray(1, c);
      ++at_;
    }
    return token;
  }

 private:
  void SkipTo(QByteArrayView closing) {
    const qsizetype end = QByteArrayView(text_).indexOf(closing, at_);
    at_ = end < 0 ? text_.size() : end + closing.size();
  }

  void SkipBlanksAndComments() {
    while (at_ < text_.size()) {
      const char c = text_[at_];
      const char next = at_ + 1 < text_.size() ? text_[at_ + 1] : '\0';
      if (IsBlank(c)) {
        ++at_;
      } else if (c == '{') {
        SkipTo("}");
      } else if (c == '(' && next == '*') {
        at_ += 2;
        SkipTo("*)");
      } else if (c == '/' && next == '/') {
        SkipTo("\n");
      } else {
        return;
      }
    }
  }

  QByteArrayView text_;
  qsizetype at_ = 0;
};

}  // namespace

QList<UsesItem> ProgramUsesClause(QByteArrayView source) {
  QList<UsesItem> items;
  Tokens tokens(source);
  Token token;
  do {
    token = tokens.Next();
    // Only "begin" of the main block ends the search: a program with no
    // uses clause has nothing before it that could be one.
    if (token.kind == Token::Name && EqualsIgnoringCase(token.text, "begin")) return items;
  } while (token.kind != Token::End && !(token.kind == Token::Name && EqualsIgnoringCase(token.text, "uses")));

  UsesItem item;
  bool expectPath = false;
  for (token = tokens.Next(); token.kind != Token::End; token = tokens.Next()) {
    if (token.kind == Token::Name) {
      if (!item.name.isEmpty() && EqualsIgnoringCase(token.text, "in"))
        expectPath = true;
      else if (item.name.isEmpty())
        item.name = token.text;
    } else if (token.kind == Token::String && expectPath) {
      item.path = token.text;
      expectPath = false;
    } else if (token.text == "," || token.text == ";") {
      if (!item.name.isEmpty()) items.append(item);
      item = UsesItem{};
      expectPath = false;
      if (token.text == ";") break;
    }
  }
  return items;
}

void AddProgramUsesUnits(ReaderContext &ctx, QByteArrayView source) {
  ProjectModel &model = ctx.model;
  QSet<QString> listed;
  for (const UnitEntry &entry : model.Units) listed.insert(ComparablePath(entry.fullPath));
  for (const UsesItem &item : ProgramUsesClause(source)) {
    QString path;
    if (!item.path.isEmpty()) {
      path = JoinPath(model.ProjectDir, Decode1252(item.path));
    } else {
      for (const QString &extension : kUnitExtensions) {
        const QString candidate = JoinPath(model.ProjectDir, Decode1252(item.name) + extension);
        if (FileExistsAnyCase(candidate)) {
          path = candidate;
          break;
        }
      }
    }
    if (path.isEmpty()) continue;
    const QString key = ComparablePath(path);
    if (listed.contains(key)) continue;
    listed.insert(key);
    model.SetPickList(DisplayPath(path), EntryKind::UnitInProject);
  }
}

}  // namespace scrivane
