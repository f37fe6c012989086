// The errors of the fyndra command and the exit status each one ends the
// program with. Every failure is reported as one line on standard error,
// "fyndra: MESSAGE", and the program exits with the status of its kind, so a
// script can tell a bad command line from a bad form, a database that cannot
// be opened or a criterion the form refuses.
#pragma once

#include <string>

#include <fyndra/platform/rtl/sysutils.h>

namespace fyndra::cli {

enum TExitStatus : int {
  esOk = 0,
  esNoMatch = 1,    // the last search found no record, or the filter shows none
  esUsage = 2,      // the command line itself is wrong
  esForm = 3,       // the form cannot be read or used (missing, malformed, no model, no dataset)
  esDatabase = 4,   // a database or data file cannot be opened or read
  esCriterion = 5,  // a criterion, operator, expression or command is refused
  esFailure = 6,    // anything else: an unexpected failure of the program
};

class EToolError : public Exception {
 public:
  EToolError(TExitStatus Status, std::string Message) : Exception(std::move(Message)), Status_(Status) {}
  TExitStatus Status() const { return Status_; }

 private:
  TExitStatus Status_;
};

}  // namespace fyndra::cli
