// Reading a unit into statement-like lines: its include files, its block
// words split onto lines of their own, the halves of a large unit at once.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <system_error>
#include <thread>

#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "platform/UserMessages.h"
#include "project/IncludeFiles.h"
#include "project/ProjectFiles.h"
#include "project/ReaderText.h"
#include "project/Readers.h"
#include "project/RoutineHeaders.h"
#include "project/SourceFile.h"
#include "project/SourceLexer.h"

namespace scrivane {
using namespace readertext;

namespace {

const QString kBinaryMessage = QStringLiteral("File is binary. Please save it as text file.");

// The words that SplitBeforeBlockWords watches. Block words match in any
// case, the others exactly (lowering leaves them as they are).
enum class BlockWord {
  Other,
  OpenBrace,
  CloseBrace,
  OpenParenStar,
  CloseParenStar,
  Quote,
  LineComment,
  Begin,
  Ends,
  TryWord
};

// Packs a word of up to eight bytes, lowered, into one number, so that a
// word is matched against the table with one comparison.
constexpr quint64 Packed(const char *text, qsizetype size) {
  quint64 packed = 0;
  for (qsizetype i = 0; i < size; ++i)
    packed |= quint64(static_cast<unsigned char>(LowerAscii(text[i]))) << (8 * i);
  return packed;
}
constexpr quint64 Packed(const char *literal) {
  return Packed(literal, std::char_traits<char>::length(literal));
}

BlockWord BlockWordOf(const char *text, qsizetype size) {
  if (size == 0 || size > 7) return BlockWord::Other;
  // Every watched word starts with one of these; most words of a line do not.
  switch (text[0]) {
    case '{':
    case '}':
    case '(':
    case '*':
    case '\'':
    case '/':
    case 'a':
    case 'A':
    case 'b':
    case 'B':
    case 'c':
    case 'C':
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'r':
    case 'R':
    case 't':
    case 'T':
    case 'u':
    case 'U':
      break;
    default:
      return BlockWord::Other;
  }
  switch (Packed(text, size)) {
    case Packed("{"):
      return BlockWord::OpenBrace;
    case Packed("}"):
      return BlockWord::CloseBrace;
    case Packed("(*"):
      return BlockWord::OpenParenStar;
    case Packed("*)"):
      return BlockWord::CloseParenStar;
    case Packed("'"):
      return BlockWord::Quote;
    case Packed("//"):
      return BlockWord::LineComment;
    case Packed("begin"):
      return BlockWord::Begin;
    case Packed("end;"):
    case Packed("end"):
    case Packed("until"):
    case Packed("asm"):
    case Packed("case"):
      return BlockWord::Ends;
    case Packed("try"):
    case Packed("finally"):
    case Packed("except"):
    case Packed("repeat"):
      return BlockWord::TryWord;
    default:
      return BlockWord::Other;
  }
}

// Splits one normalised line before its block words, appending the pieces to
// `out`. Each piece holds its words each followed by one blank; the split's
// final empty word adds one more blank to the last piece. Block words inside
// a comment or a string stay where they are: a "//" comment runs to the end
// of the line, and a brace or "(*" comment that spans lines is followed from
// one line to the next through `carry`.
// The first piece carries fileLine, the line's number in the file; the pieces
// split off carry it negated: they come from that line but do not start it.
// The blanks of line, when the lexer would cut it into words at its blanks
// alone: read in code, it opens no comment and no string. Most lines of a
// unit are such. False for any other line.
bool PlainCodeBlanks(QByteArrayView line, const CommentCarry &carry,
                     std::vector<qsizetype> &blanks) {
  // 1: a blank; 2: opens a string or a brace comment; 3: may open a comment
  // with the byte after it.
  static constexpr auto kKind = [] {
    std::array<unsigned char, 256> table{};
    table[' '] = 1;
    table['{'] = table['\''] = table['#'] = 2;
    table['('] = table['/'] = 3;
    return table;
  }();
  blanks.clear();
  if (!carry.InCode()) return false;
  const qsizetype size = line.size();
  for (qsizetype k = 0; k < size; ++k) {
    switch (kKind[static_cast<unsigned char>(line[k])]) {
      case 0:
        break;
      case 1:
        blanks.push_back(k);
        break;
      case 2:
        return false;
      default:
        if (k + 1 < size && line[k + 1] == (line[k] == '(' ? '*' : '/')) return false;
        break;
    }
  }
  return true;
}

void SplitBeforeBlockWords(QByteArrayView line, LineList &out, CommentCarry &carry, int fileLine) {
  bool afterTryWord = false;
  const char *const data = line.data();
  qsizetype pieceStart = 0;
  auto onCodeWord = [&](qsizetype offset, qsizetype size) {
    const BlockWord word = BlockWordOf(data + offset, size);
    auto flush = [&] {
      out.appendWithBlanks(QByteArrayView(data + pieceStart, offset - pieceStart), 0, fileLine);
      fileLine = -std::abs(fileLine);
      pieceStart = offset;
    };
    if (word == BlockWord::Ends || word == BlockWord::Begin) flush();
    if (word == BlockWord::TryWord) afterTryWord = true;
    if (afterTryWord && word == BlockWord::Begin) flush();
  };
  static thread_local std::vector<qsizetype> blanks;
  if (PlainCodeBlanks(line, carry, blanks)) {
    // The lexer's words: each blank ends one, and the line's final blank
    // leaves an empty word at its end. The first word is never split before.
    qsizetype at = -1;
    for (const qsizetype blank : blanks) {
      if (at >= 0) onCodeWord(at, blank - at);
      at = blank + 1;
    }
    if (at >= 0) onCodeWord(at, line.size() - at);
  } else {
    bool first = true;
    LineLexer lexer(line, carry);
    for (LexedWord w; lexer.Next(w); first = false)
      if (!first && w.Lex == Lexeme::Code) onCodeWord(w.Offset, w.Size);
  }
  out.appendWithBlanks(QByteArrayView(data + pieceStart, line.size() - pieceStart), 1, fileLine);
}

}  // namespace

bool readertext::StartsWithBlockWord(QByteArrayView trimmedLine) {
  qsizetype end = trimmedLine.indexOf(' ');
  if (end < 0) end = trimmedLine.size();
  const BlockWord word = BlockWordOf(trimmedLine.data(), end);
  return word == BlockWord::Begin || word == BlockWord::Ends;
}

void ParsePas(ReaderContext &ctx, const QString &path) {
  ctx.model.OpenAlone(path, EntryKind::UnitInProject);
  // Compiled by itself in its IDE, a unit takes the search paths of the
  // package or project it belongs to (the LCL's controls.pp finds its
  // include files through lclbase.lpk).
  ctx.model.DescriptionFiles.clear();
  ctx.model.UnitSearchPaths.clear();
  ctx.model.IncludeSearchPaths.clear();
  if (ctx.choices.followIncludes) {
    ProjectFileContents contents;
    const QString description = ProjectDescriptionFor(AbsoluteUserPath(path), &contents);
    if (!description.isEmpty()) UseSearchPaths(ctx, description, contents);
  }
  if (ctx.beforeReadingAlone && ctx.model.Units.size() == 1)
    ctx.beforeReadingAlone(ctx.model.Units.front().PathToRead());
  LoadUnit(ctx);
}

namespace {

// The lines of text, normalised and split before their block words, as
// they are read from `carries` on; the carries are left at the end.
struct LineCarries {
  CommentCarry normaliser, splitter;
  friend bool operator==(const LineCarries &, const LineCarries &) = default;
};
int ReadLinesInto(QByteArrayView text, bool lower, LineCarries &carries, LineList &lines) {
  // Its buffer is as long as the longest line: gone when the lines are read.
  LineNormaliser normaliser;
  int fileLine = 0;
  ForEachLine(text, [&](QByteArrayView raw) {
    SplitBeforeBlockWords(normaliser.Normalise(Trimmed(raw), lower, carries.normaliser), lines,
                          carries.splitter, ++fileLine);
  });
  return fileLine;
}

// A unit of at least this many bytes is read in two halves at once.
constexpr qsizetype kHalvesFrom = 64 * 1024;
// Above this the halves are not worth the second copy of the lines'
// index that merging them holds for a moment.
constexpr qsizetype kHalvesUpTo = 16 * 1024 * 1024;

}  // namespace

std::vector<bool> IndentedDeeperLines(QByteArrayView text) {
  std::vector<bool> deeper(1, false);
  int previous = -1;
  ForEachLine(text, [&](QByteArrayView line) {
    int column = 0;
    qsizetype k = 0;
    for (; k < line.size() && (line[k] == ' ' || line[k] == '\t'); ++k)
      column = line[k] == '\t' ? column / 8 * 8 + 8 : column + 1;
    const bool blank = k == line.size() || line[k] == '\r';
    deeper.push_back(!blank && previous >= 0 && column > previous);
    if (!blank) previous = column;
  });
  return deeper;
}

LineList OwnLinesOf(QByteArrayView text) {
  LineList lines;
  lines.reserve(CountLineFeeds(text) + 1);
  int fileLine = 0;
  ForEachLine(text, [&](QByteArrayView raw) { lines.append(raw, ++fileLine); });
  return lines;
}

bool CommentsNestByDefault(const QString &path, const QString &projectPath) {
  const QString name = FileNamePart(path).toLower();
  if (name.endsWith(QStringLiteral(".pas")) || name.endsWith(QStringLiteral(".dpr")))
    return FileNamePart(projectPath).toLower().endsWith(QStringLiteral(".lpr"));
  return true;
}

LineList ReadLines(QByteArrayView text, bool lower, bool halves, bool nestComments) {
  LineList lines;
  lines.reserve(CountLineFeeds(text) + 1);
  LineCarries carries;
  carries.normaliser.NestComments = carries.splitter.NestComments = nestComments;
  const LineCarries start = carries;
  // The second half is read on another core while this one reads the first,
  // from a line start, as if no comment were open there. When one was after
  // all (a comment over the cut), the second half is read again from the
  // first half's end: the lines are those of one reading in every case.
  const char *feed =
      halves && text.size() >= kHalvesFrom && text.size() <= kHalvesUpTo
          ? static_cast<const char *>(std::memchr(text.data() + text.size() / 2, '\n',
                                                  size_t(text.size() - text.size() / 2)))
          : nullptr;
  if (!feed || feed + 1 == text.data() + text.size()) {
    ReadLinesInto(text, lower, carries, lines);
    return lines;
  }
  const qsizetype cut = feed + 1 - text.data();
  LineList second;
  LineCarries secondCarries = start;
  std::thread reader;
  // An allocation failure on the second half is passed on as on the first,
  // not left to end the process.
  std::exception_ptr secondFailure;
  try {
    reader = std::thread([&] {
      try {
        ReadLinesInto(text.sliced(cut), lower, secondCarries, second);
      } catch (...) {
        secondFailure = std::current_exception();
      }
    });
  } catch (const std::system_error &) {
    // No thread to be had (a process limit): one pass does the same.
    ReadLinesInto(text, lower, carries, lines);
    return lines;
  }
  int firstLines = 0;
  try {
    firstLines = ReadLinesInto(text.first(cut), lower, carries, lines);
  } catch (...) {
    reader.join();
    throw;
  }
  reader.join();
  if (secondFailure) std::rethrow_exception(secondFailure);
  if (carries == start) {
    lines.adopt(std::move(second), firstLines);
  } else {
    second = LineList();
    LineList rest;
    ReadLinesInto(text.sliced(cut), lower, carries, rest);
    lines.adopt(std::move(rest), firstLines);
  }
  return lines;
}

namespace {

// Include files are nested no deeper than the compiler nests them.
constexpr int kMaxIncludeDepth = 32;
// A unit brings in at most this many include files, or this much of their
// text: files that each include the next twice, 25 deep, brought in 2^25
// copies and the print never ended. The largest units of Lazarus and Free
// Pascal bring in a few dozen.
constexpr int kMostIncludesRead = 10000;
constexpr qsizetype kMostIncludedBytes = qsizetype(256) << 20;

// Reads a unit with its include files in place: each include file's lines
// follow the line holding its directive, numbered from 1 in their own file
// and marked with their file (model.SourceParts). Only the included text
// is read again; a file with no directive is read as before.
class IncludeReader {
 public:
  IncludeReader(ReaderContext &ctx, bool lower)
      : ctx_(ctx),
        model_(ctx.model),
        lower_(lower),
        ownLines_(ctx.choices.keepOwnLines || ctx.model.KeepOwnLines) {
    folders_ = model_.IncludeSearchPaths + model_.UserIncludePaths;
    unitFolder_ = DirectoryPart(model_.CurrentUnitPath);
  }

  // Appends the lines of `text` (the file `path`, entry `file` of
  // SourceParts) and of the files it includes.
  void Read(QByteArrayView text, const QString &path, int file, LineList &out, int depth) {
    const std::vector<IncludeDirective> directives = FindIncludeDirectives(text);
    if (directives.empty()) {
      LineList lines = ReadLines(text, lower_, true, model_.CommentsNest);
      lines.markFile(0, file);
      out.adopt(std::move(lines), 0);
      return;
    }
    stack_.push_back(ComparablePath(path));
    LineCarries carries;
    carries.normaliser.NestComments = carries.splitter.NestComments = model_.CommentsNest;
    qsizetype start = 0;
    int linesRead = 0;
    for (const IncludeDirective &directive : directives) {
      if (directive.lineEnd > start) {
        LineList lines;
        const int count =
            ReadLinesInto(text.sliced(start, directive.lineEnd - start), lower_, carries, lines);
        lines.markFile(0, file);
        out.adopt(std::move(lines), linesRead);
        linesRead += count;
        start = directive.lineEnd;
      }
      Include(directive, path, out, depth);
    }
    if (start < text.size()) {
      LineList lines;
      ReadLinesInto(text.sliced(start), lower_, carries, lines);
      lines.markFile(0, file);
      out.adopt(std::move(lines), linesRead);
    }
    stack_.pop_back();
  }

 private:
  void Include(const IncludeDirective &directive, const QString &includingPath, LineList &out,
               int depth) {
    const QString found = ResolveIncludeFile(directive.name, includingPath, folders_, finder_);
    SourcePart part;
    part.path = found.isEmpty() ? JoinPath(DirectoryPart(includingPath), Decode1252(directive.name))
                                : found;
    part.shown = ShownName(part.path);
    SourceFile file;
    if (found.isEmpty()) {
      part.state = SourcePart::State::Missing;
    } else if (depth >= kMaxIncludeDepth ||
               std::find(stack_.begin(), stack_.end(), ComparablePath(found)) != stack_.end()) {
      part.state = SourcePart::State::Repeated;
    } else if (includesRead_ >= kMostIncludesRead || bytesIncluded_ >= kMostIncludedBytes) {
      part.state = SourcePart::State::Unreadable;
      file.status = SourceStatus::Unreadable;
      file.reason = QStringLiteral("left out: the unit has brought in %1 include files already")
                        .arg(includesRead_);
    } else if (const QString problem = model_.Scope.Problem(found); !problem.isEmpty()) {
      // An include file is brought in by the unit's text, as a unit by the
      // project's: `{$I /etc/passwd}` prints nothing of it.
      part.state = SourcePart::State::Unreadable;
      file.status = SourceStatus::Unreadable;
      file.reason = QStringLiteral("left out: ") + problem;
    } else {
      file = ReadSourceFile(found);
      if (file.status != SourceStatus::Ok) part.state = SourcePart::State::Unreadable;
      ++includesRead_;
      bytesIncluded_ += file.bytes.size();
    }
    const int index = int(model_.SourceParts.size());
    model_.SourceParts.append(part);
    if (ownLines_)
      model_.OwnLines.append(part.state == SourcePart::State::Read ? OwnLinesOf(file.bytes)
                                                                   : LineList());
    if (part.state != SourcePart::State::Read) {
      // One row of its own says what became of the file.
      out.append(QByteArrayView(), 0, index);
      const QString where = FileNamePart(includingPath) + QStringLiteral("(") +
                            QString::number(directive.line) + QStringLiteral("): ");
      if (part.state == SourcePart::State::Missing)
        ctx_.messages.Note(where + QStringLiteral("include file ") + Decode1252(directive.name) +
                           QStringLiteral(" not found"));
      else if (part.state == SourcePart::State::Unreadable)
        ctx_.messages.Note(where + SourceFileMessage(file, found));
      return;
    }
    Read(file.bytes, found, index, out, depth + 1);
  }

  // Relative to the unit's folder when inside it, else the whole path.
  QString ShownName(const QString &path) const {
    if (!unitFolder_.isEmpty() && path.startsWith(unitFolder_)) return path.mid(unitFolder_.size());
    return path;
  }

  ReaderContext &ctx_;
  ProjectModel &model_;
  bool lower_;
  bool ownLines_;
  QStringList folders_;
  QString unitFolder_;
  FileFinder finder_;
  std::vector<QString> stack_;
  int includesRead_ = 0;
  qsizetype bytesIncluded_ = 0;
};

}  // namespace

void LoadUnit(ReaderContext &ctx) {
  ProjectModel &model = ctx.model;
  if (model.FormFileOpened) return LoadFormText(ctx);
  if (model.SelectedUnit < 0 || model.SelectedUnit >= model.Units.size()) return;
  QString p = model.Units.at(model.SelectedUnit).PathToRead();
  if (!p.contains(QStringLiteral(":\\")) && !IsAbsolutePath(p)) p = JoinPath(model.ProjectDir, p);

  auto fail = [&](const QString &message, bool warning) {
    model.SourceLines.clear();
    model.DeclaredRoutines.clear();
    model.ClearRoutines();
    model.CurrentUnitPath.clear();
    ctx.messages.SetBusy(false);
    if (warning)
      ctx.messages.FileWarning(p, message);
    else
      ctx.messages.Information(message);
  };
  if (const QString &leftOut = model.Units.at(model.SelectedUnit).leftOut; !leftOut.isEmpty())
    return fail(
        QStringLiteral("Cannot read %1: the project may not bring it in: %2.").arg(p, leftOut),
        false);
  ctx.messages.SetBusy(true);
  SourceFile file = ReadSourceFile(p);
  switch (file.status) {
    case SourceStatus::Missing:
      return fail(SourceFileMessage(file, p), true);
    case SourceStatus::Unreadable:
      return fail(SourceFileMessage(file, p), false);
    case SourceStatus::Binary:
      return fail(kBinaryMessage, true);
    case SourceStatus::Ok:
      break;
  }

  model.SourceLines.clear();
  model.ClearRoutines();
  model.CurrentUnitPath = file.diskPath;
  model.SourceEncoding = file.encoding;
  const bool lower = ctx.choices.lowerCase;
  model.SourceParts = {
      SourcePart{file.diskPath, FileNamePart(file.diskPath), SourcePart::State::Read}};
  model.CommentsNest =
      CommentsNestByDefault(file.diskPath, model.ProjectLoaded ? model.OpenedPath : QString());
  model.ListImplementationRoutines = ctx.choices.implementationRoutines;
  model.OwnLines.clear();
  model.JoinedLines.clear();
  model.JoinedHeaders.clear();
  if (ctx.choices.keepOwnLines || model.KeepOwnLines) model.OwnLines.append(OwnLinesOf(file.bytes));
  if (ctx.choices.followIncludes) {
    LineList lines;
    IncludeReader(ctx, lower).Read(file.bytes, file.diskPath, 0, lines, 0);
    model.SourceLines = std::move(lines);
  } else {
    model.SourceLines = ReadLines(file.bytes, lower, true, model.CommentsNest);
  }
  model.IndentedDeeper = IndentedDeeperLines(file.bytes);
  // The file's bytes are not needed past here; on a huge unit they are a
  // large part of what reading holds at its peak.
  file.bytes = QByteArray();
  // Blank lines after the unit's last text would print as a page of empty rows.
  // (A row that stands for an include file that is not there stays.)
  while (!model.SourceLines.isEmpty() && Trimmed(model.SourceLines.last()).isEmpty() &&
         model.SourceLines.fileLine(model.SourceLines.size() - 1) != 0)
    model.SourceLines.removeLast();
  model.FormMode = false;
  ScanRoutines(model);
  ctx.messages.SetBusy(false);
}

}  // namespace scrivane
