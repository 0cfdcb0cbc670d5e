#pragma once
// A setting of scrivn.ini given for one run ("Switch.LineNo=1", from
// scrivane-print --set). Unlike a value in the file, which reads as its
// default when it cannot be used, an override that would be ignored is
// refused, so that a typing error does not print with other settings.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace scrivane {

class IniFile;

struct SettingOverride {
  QByteArray section;  // as the file spells it ("Switch")
  QByteArray key;      // as the file spells it ("LineNo")
  QByteArray value;    // the bytes the file would hold
  friend bool operator==(const SettingOverride &, const SettingOverride &) = default;
};

// Reads SECTION.KEY=VALUE (section and key in any case). Empty error: ok;
// otherwise error says what is wrong with it.
SettingOverride ParseSettingOverride(const QString &text, QString *error);
// Sets each override in the file's contents (in memory), in order.
void ApplySettingOverrides(IniFile &ini, const QList<SettingOverride> &overrides);
// Every SECTION.KEY --set takes ("Switch.LineNo"), sorted: for the shell's
// completion.
QStringList SettingNames();

}  // namespace scrivane
