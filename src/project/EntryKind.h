#pragma once
// What an entry of the unit or routine list is; the readers decide it, the
// lists draw a glyph for each. Apart from the model so that the widgets
// need no more of it.

namespace scrivane {

// Kinds of pick-list entries; each has its own glyph.
enum class EntryKind {
  UnitInProject = 0,  // UnitKind 0
  FormFile = 1,       // UnitKind 1
  UnitInUses = 9,     // UnitKind 9
  Function = 100,
  Constructor,
  Destructor,
  Procedure,
  FormObject,
  None,
};

}  // namespace scrivane
