// orvik-install's log: the records setup.exe writes to its debug log, framed
// by a line that says which run it is and one that says how it ended, so
// that one file holds run after run of a machine's history.
#pragma once

#include <optional>
#include <string>

#include "app/unattended.h"
#include "engine/debug_log.h"

namespace orvik {

// How every run's part of the log begins: a log that does not begin so is
// none of ours, and is not continued.
inline constexpr char kLogStart[] = "==== orvik-install ";

class UnattendedLog {
 public:
  // Opens `path` (nothing without one) and writes the run's first line:
  // the time (UTC), the program's version, the account and the command line.
  UnattendedLog(const std::optional<std::string>& path, UnattendedHost& host);
  UnattendedLog(const UnattendedLog&) = delete;
  UnattendedLog& operator=(const UnattendedLog&) = delete;

  bool is_open() const { return session_.is_open(); }
  // The last line: the exit status and its Windows name.
  void Finish(int status);

 private:
  DebugLogSession session_;
};

// "Step failed: STEP 'FILE'", for each step that failed.
void LogStepFailed(const char* step, const std::string& file);

}  // namespace orvik
