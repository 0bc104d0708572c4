#include "app/fleet_log.h"


namespace orvik {

namespace {

// The program's own version, which the CD's version need not be.
constexpr char kProgramVersion[] = "8.0";

}  // namespace

UnattendedLog::UnattendedLog(const std::optional<std::string>& path, UnattendedHost& host)
    : session_(path ? host.OpenLog(*path) : nullptr) {
  WriteDebugLog("%s%s, %s, %s: %s\n", kLogStart, kProgramVersion, host.UtcTime().c_str(),
                host.AccountName().c_str(), host.CommandLine().c_str());
  WriteDebugLog("Entering dlg\n");
}

void UnattendedLog::Finish(int status) {
  WriteDebugLog("Exited install_dlg\n");
  WriteDebugLog("==== exit %d %s\n", status, ExitStatusName(status));
}

void LogStepFailed(const char* step, const std::string& file) {
  WriteDebugLog("Step failed: %s '%s'\n", step, file.c_str());
}

}  // namespace orvik
