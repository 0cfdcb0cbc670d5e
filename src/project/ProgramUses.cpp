#include "project/ProgramUses.h"

#include <QDir>
#include <QSet>

#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "project/ReaderText.h"
#include "project/Readers.h"

namespace scrivane {
using namespace readertext;

namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '.' || static_cast<unsigned char>(c) >= 0x80;
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

QList<UsesItem> ProgramUsesClause(QByteArrayView source, QByteArrayView keyword) {
  QList<UsesItem> items;
  Tokens tokens(source);
  Token token;
  do {
    token = tokens.Next();
    // Only "begin" of the main block ends the search: a program with no
    // uses clause has nothing before it that could be one.
    if (token.kind == Token::Name && EqualsIgnoringCase(token.text, "begin")) return items;
  } while (token.kind != Token::End &&
           !(token.kind == Token::Name && EqualsIgnoringCase(token.text, keyword)));

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

void AddProgramUsesUnits(ReaderContext &ctx, QByteArrayView source, QByteArrayView keyword) {
  ProjectModel &model = ctx.model;
  // Files are told apart as the file system tells them: "Upper.pas" and
  // "upper.pas" are two units here.
  auto key = [](const QString &path) {
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
  };
  QSet<QString> listed;
  for (const UnitEntry &entry : model.Units) listed.insert(key(entry.PathToRead()));
  // The compiler looks in the project's folder first, then on its search path.
  QStringList folders{model.ProjectDir};
  folders += model.UnitSearchPaths;
  FileFinder finder;
  for (const UsesItem &item : ProgramUsesClause(source, keyword)) {
    QString path;
    if (!item.path.isEmpty()) {
      const QString named = JoinPath(model.ProjectDir, Decode1252(item.path));
      const QString onDisk = finder.Find(named);
      path = onDisk.isEmpty() ? named : onDisk;
    } else {
      // "uses Plain.pas;" names its file, in projects that always worked.
      const QString name = Decode1252(item.name);
      QStringList extensions(std::begin(kUnitExtensions), std::end(kUnitExtensions));
      if (HasUnitExtension(name)) extensions.prepend(QString());
      for (const QString &folder : folders) {
        for (const QString &extension : extensions) {
          const QString candidate = JoinPath(folder, name + extension);
          if (finder.FileExists(candidate)) {
            path = finder.Find(candidate);
            break;
          }
        }
        if (!path.isEmpty()) break;
      }
    }
    if (path.isEmpty()) {
      if (const QString name = Decode1252(item.name); !model.UnitsNotFound.contains(name))
        model.UnitsNotFound << name;
      continue;
    }
    if (listed.contains(key(path))) continue;
    listed.insert(key(path));
    model.SetPickList(path, EntryKind::UnitInProject);
    LeaveOutOfScope(ctx, model.Units.last());
  }
}

}  // namespace scrivane
