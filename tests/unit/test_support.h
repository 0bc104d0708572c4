// Shared pieces of the unit tests: temporary folders that stand in for
// drives, byte-exact file helpers, and a debug log captured in memory.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>

#include "engine/debug_log.h"
#include "engine/result_codes.h"
#include "platform/posix/posix_file_system.h"

namespace orvik {

// Failed expectations name the results instead of printing their bytes.
inline void PrintTo(InstallResult result, std::ostream* out) {
  *out << InstallResultName(result);
}
inline void PrintTo(MessageResult result, std::ostream* out) {
  *out << (result == MessageResult::kFound ? "kFound" : "kNotFound");
}

}  // namespace orvik

namespace orvik::testing {

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // Writes `bytes` to the file at `relative` ("install/einstall.dat"),
  // creating the folders on the way.
  void WriteFile(const std::string& relative, const std::string& bytes) const;
  std::string ReadFile(const std::string& relative) const;
  bool Exists(const std::string& relative) const;
  void MakeFolder(const std::string& relative) const;

 private:
  std::string path_;
};

// Captures what is written to g_pDebugLog while it lives.
class CapturedLog {
 public:
  CapturedLog();
  std::string Text() const;

 private:
  std::FILE* file_;
  DebugLogSession session_;
};

// Puts the process-wide state back as it is at start-up.
void ResetGlobalState();

}  // namespace orvik::testing
