#pragma once
// What the user chose that changes what the readers keep of a file. The
// readers take these few choices, not the format settings, so that they
// depend on nothing above them; ReadChoicesOf (listing/Documents.h) takes
// them from the settings. The defaults are the settings' defaults.

namespace scrivane {

struct ReadChoices {
  bool lowerCase = false;              // the text read in lower case ([Switch] Lower)
  bool followIncludes = true;          // include files read in place ([Switch] FollowIncludes)
  bool keepOwnLines = false;           // the file's lines kept as written, for its own layout
  bool implementationRoutines = true;  // routines only the implementation part has are listed
  // A form saved as text read line for line as its file has it, each line
  // numbered as there (the file's line numbers are printed).
  bool formLinesAsInFile = false;
};

}  // namespace scrivane
