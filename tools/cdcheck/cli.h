// The command line of orvik-cdcheck, shared by its POSIX and Windows
// programs, which differ only in how they reach the CD folder and how they
// hand the output to the console.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/file_system.h"

namespace orvik::cdcheck {

// Exit status.
constexpr int kExitClean = 0;   // no error (warnings allowed)
constexpr int kExitErrors = 1;  // the CD has at least one error
constexpr int kExitUsage = 2;   // bad command line, or no such folder

struct CdCheckOptions {
  std::string cd_folder;
  bool quiet = false;
  bool json = false;
  bool help = false;
};

struct ParsedCdCheckArguments {
  bool ok = false;
  CdCheckOptions options;
  std::string error;  // what is wrong, when !ok
};

ParsedCdCheckArguments ParseCdCheckArguments(const std::vector<std::string>& args);

extern const char kCdCheckUsage[];

// Makes the folder the CD in kCdDrive; null when it is not a folder.
using CdOpener =
    std::function<std::unique_ptr<FileSystem>(const std::string& folder)>;

struct ToolOutput {
  std::string out;  // UTF-8 (text) or ASCII (JSON)
  std::string err;  // UTF-8
};

// The whole program; returns its exit status.
int RunCdCheckTool(const std::vector<std::string>& args, const CdOpener& open_cd,
                   ToolOutput& output);

}  // namespace orvik::cdcheck
