// sondrax-check: the diagnosis of many files from one command, with a line and a verdict for
// each, an exit status for scripts, and repaired copies of files whose only fault is their
// sizes.
#pragma once

#include <string>
#include <vector>

#include "check/Inputs.h"
#include "diagnosis/Diagnosis.h"

namespace sondrax {

/// The command line, parsed.
struct CheckOptions {
  InputSources Sources;
  bool Json = false;
  Severity FailOn = Severity::kProblem;  // exit 1 from a verdict at or above it
  unsigned Jobs = 0;                     // 0: one for each processor
  bool Repair = false;
  std::string RepairTo;
  bool Help = false;
  bool Version = false;
};

/// Parses the arguments after the program's name. Returns "" or the usage error's sentence.
std::string ParseCheckArguments(const std::vector<std::string>& arguments, CheckOptions* options);

/// The whole run on the arguments (program name first): the lines on standard output, the
/// progress line on a terminal's standard error. Returns the exit status: 0, 1 when a verdict
/// reached --fail-on, 2 for a usage error or an output that could not be written.
int RunCheck(const std::vector<std::string>& arguments);

}  // namespace sondrax
