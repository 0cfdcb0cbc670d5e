#pragma once
// Every key of scrivn.ini that the format settings are read from, in one
// table: its section and key, what it holds and which values --set takes,
// its default, the member it fills and a line of help. Loading, saving,
// --set, the man page's list of settings and the shell's completion of
// --set all go through it, so a key is written down once.
#include <QByteArray>
#include <QString>
#include <span>

#include "format/Fonts.h"

namespace scrivane {

struct FormatSettings;

enum class SettingType {
  // A whole number, read as it is; --set takes minimum..maximum.
  Integer,
  // 0 or 1, and a value other than 0 reads as 1.
  OnUnlessZero,
  // 0 or 1, and a value other than 1 reads as 0.
  OffUnlessOne,
  // Points: kept to 4..72 on reading, and below 1 (only a hand-edited file
  // holds that) the default.
  FontSize,
  // A colour reference 0x00BBGGRR.
  Colour,
  // Only 1, 2 or 4; anything else reads as the default.
  PagesPerSheet,
  // A font's face: Windows-1252, at most maxLength characters, never blank
  // (a blank one reads as the default).
  FaceName,
  // A title of the title block: Windows-1252, or UTF-8 where that code page
  // cannot spell it; cut to maxLength characters.
  Title,
  // The owner's name: at most maxLength characters; read, never written.
  Owner,
};

struct SettingRow {
  const char *section;  // as the file spells it ("Switch")
  const char *key;      // as the file spells it ("LineNo")
  SettingType type;
  int minimum = 0;  // Integer: the values --set takes
  int maximum = 0;
  int maxLength = 0;  // texts: characters kept
  int defaultNumber = 0;
  const char *defaultText = "";
  // The member the row fills; one of them, by type.
  int FormatSettings::*number = nullptr;
  ColorRef FormatSettings::*colour = nullptr;
  QString FormatSettings::*face = nullptr;
  QByteArray FormatSettings::*text = nullptr;
  const char *help = "";

  bool IsText() const {
    return type == SettingType::FaceName || type == SettingType::Title ||
           type == SettingType::Owner;
  }
  // "Switch.LineNo"
  QString Name() const;
  // The values it takes, as the man page and --set's messages say them
  // ("0 or 1", "4 to 72", "text of at most 35 characters").
  QString ValuesText() const;
  QString DefaultText() const;
};

// Every row, in the order the file's keys are read and written (new keys of
// a saved file appear in this order).
std::span<const SettingRow> SettingRows();

// The man page's list of settings (troff), made from the table.
QString SettingsManSection();

}  // namespace scrivane
