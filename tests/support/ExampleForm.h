#pragma once
// The form of examples/mainform.pas, written by our own encoder: the bytes
// of examples/mainform.dfm. A test checks that the shipped file still equals
// them (scripts/regenerate-goldens.sh writes it again on purpose).
#include <string>

#include "support/FormStreamWriter.h"

namespace formstream {

inline std::string ExampleMainForm() {
  std::string glyph;  // a 16 x 16 four-bit bitmap's first 70 bytes: enough for chunked lines
  for (int i = 0; i < 70; ++i) glyph += char((i * 37 + 11) & 0xFF);
  const std::string grid = Object(
      "TStringGrid", "ItemGrid",
      Prop("Left", Int(0)) + Prop("Top", Int(0)) + Prop("Width", Int(592)) +
          Prop("Height", Int(312)) + Prop("Align", Ident("alClient")) + Prop("ColCount", Int(4)) +
          Prop("DefaultRowHeight", Int(18)) + Prop("FixedCols", Int(0)) + Prop("RowCount", Int(2)) +
          Prop("Options", Set({"goFixedVertLine", "goFixedHorzLine", "goVertLine", "goHorzLine",
                               "goRowSelect"})) +
          Prop("TabOrder", Int(0)) + Prop("OnDblClick", Ident("ItemGridDblClick")) +
          Prop("ColWidths", List({Int(80), Int(260), Int(90), Int(120)})));
  auto button = [](const char *name, const char *caption, int left, int tab,
                   const std::string &extra) {
    return Object("TButton", name,
                  Prop("Left", Int(left)) + Prop("Top", Int(8)) + Prop("Width", Int(100)) +
                      Prop("Height", Int(25)) + Prop("Caption", Str(caption)) +
                      Prop("TabOrder", Int(tab)) + extra +
                      Prop("OnClick", Ident(std::string(name) + "Click")));
  };
  const std::string panel = Object(
      "TPanel", "ButtonPanel",
      Prop("Left", Int(0)) + Prop("Top", Int(312)) + Prop("Width", Int(592)) +
          Prop("Height", Int(41)) + Prop("Align", Ident("alBottom")) +
          Prop("BevelOuter", Ident("bvNone")) + Prop("Caption", Str("")) + Prop("TabOrder", Int(1)),
      button("AddButton", "&Add...", 8, 0, Prop("Default", True())) +
          button("RemoveButton", "&Remove", 116, 1, Prop("Hint", Str("Remove the item's line"))) +
          button("ReportButton", "Re&port", 224, 2, Prop("Glyph.Data", Binary(glyph))) +
          Object("TLabel", "StatusLabel",
                 Prop("Left", Int(336)) + Prop("Top", Int(12)) + Prop("Width", Int(240)) +
                     Prop("Height", Int(13)) + Prop("AutoSize", False()) +
                     Prop("Caption", Str(" Ready")) + Prop("Font.Style", Set({"fsBold"})),
                 {}, Prefix(2, Int(3))));
  const std::string form = Object(
      "TMainForm", "MainForm",
      Prop("Left", Int(192)) + Prop("Top", Int(107)) + Prop("Width", Int(600)) +
          Prop("Height", Int(380)) + Prop("Caption", Str("Stock")) +
          Prop("Color", Ident("clBtnFace")) + Prop("Font.Charset", Ident("DEFAULT_CHARSET")) +
          Prop("Font.Color", Ident("clWindowText")) + Prop("Font.Height", Int(-11)) +
          Prop("Font.Name", Str("MS Sans Serif")) + Prop("Font.Style", Set({})) +
          Prop("OldCreateOrder", False()) + Prop("Position", Ident("poScreenCenter")) +
          Prop("OnCreate", Ident("FormCreate")) + Prop("OnDestroy", Ident("FormDestroy")) +
          Prop("PixelsPerInch", Int(96)) + Prop("TextHeight", Int(13)),
      grid + panel);
  return Resource("TMAINFORM", Stream(form));
}

}  // namespace formstream
