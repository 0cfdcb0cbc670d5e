#pragma once
// Routine headers as the routine list, the listing and the index see them:
// which lines start a routine, where a header ends, and its parts (kind
// words, class qualifier, name). Works on normalised lines, whatever their
// case; strings may arrive as "'" words or as whole literals.
#include <QByteArray>
#include <QByteArrayView>

namespace scrivane {

// The words a routine header starts with: "procedure", "function",
// "constructor", "destructor", "operator", each optionally after "class"
// or "generic" ("class function", "class operator", "generic procedure").
// Returns the number of bytes those words take in trimmedLine (up to the
// last keyword's end), 0 when the line starts no header. A Free Pascal
// operator header also needs its "(" and a result: "Operator := x;" is a
// statement.
qsizetype RoutineKindLength(QByteArrayView trimmedLine);
// The last kind word in lower case: "function" for "class function".
// Operators count as functions.
QByteArray BaseRoutineWord(QByteArrayView trimmedLine);

struct RoutineHeaderParts {
  QByteArray kind;       // the kind words, single blanks between: "class function"
  QByteArray qualifier;  // the classes before the name: "TOuter.TInner", "TList<T>"; empty if none
  QByteArray name;       // "Bar", "Foo<T>", "+"
  QByteArray rest;       // what follows the name: " ( x : integer ) : boolean;"
  bool valid = false;    // a kind and a name were found
};
// Splits a header (or a heading line; text after the header goes to rest).
// Dots inside type parameters ("TList<TFoo.T>") are not qualifiers.
RoutineHeaderParts SplitRoutineHeader(QByteArrayView header);

// The parameters and result of a header's rest (lower case) as the
// compiler compares them: one entry per parameter ("a, b: integer" and
// "a: integer; b: integer" are the same), names and default values left
// out, Free Pascal's synonyms made one (longint is integer).
QByteArray ParameterSignature(QByteArrayView rest);

// A header's words cut after its end: the first ";" after its parameter list
// (parentheses paired, strings skipped), or the first ";" when it has none.
// Without an end it stays whole. Sets *complete when the end was found, and
// then *used to the bytes of code up to that end.
QByteArray CutHeaderAtEnd(QByteArrayView code, bool *complete = nullptr, qsizetype *used = nullptr);

// An implementation that omits the parameter list and result its
// declaration gave ("function TFoo.Bar;").
bool IsShortFormHeader(const RoutineHeaderParts &parts);

// A routine header without its class qualifiers ("procedure tform1.click;"
// gives "procedure click;"): how an implementation is matched with its
// declaration.
QByteArray RoutineKey(const QByteArray &lowerHeader);
// The same key from the header's parts, when they are at hand already.
QByteArray RoutineKey(const QByteArray &lowerHeader, const RoutineHeaderParts &parts);
// The header of one listing line as the keys see it: comments dropped,
// lower case, cut after its end.
QByteArray RoutineHeaderOfLine(QByteArrayView line);

// The index's name of a heading: "Method (TOuter.TInner)" for a method.
QByteArray IndexNameOfHeading(QByteArrayView trimmedLine);

}  // namespace scrivane
