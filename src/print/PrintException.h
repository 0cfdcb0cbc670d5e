#pragma once
// Raised when a print job is run without one of its page events, or when
// nothing can be printed (no printer, an unwritable output file).
#include <stdexcept>

namespace scrivane {

class PrintException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char *kBeginPrintNotAssigned = "Begin Print Function Not Assigned!";
inline constexpr const char *kPrintPageNotAssigned = "Print Page Function Not Assigned!";
inline constexpr const char *kEndPrintNotAssigned = "End Print Function Not Assigned!";

}  // namespace scrivane
