// The command line of orvik-cdcheck, shared by its POSIX and Windows
// programs, which differ only in how they reach the CD and how they hand
// the output to the console.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/file_system.h"

namespace orvik::cdcheck {

// Exit status.
constexpr int kExitClean = 0;   // no error (warnings allowed without --werror)
constexpr int kExitErrors = 1;  // an error, or a warning with --werror
constexpr int kExitUsage = 2;   // bad command line, or no CD where it points
// The memory for the check could not be had: the report would be
// incomplete, so none is printed (each main catches std::bad_alloc).
constexpr int kExitOutOfMemory = 2;
extern const char kOutOfMemoryMessage[];

enum class OutputFormat { kText, kJson, kSarif };

struct CdCheckOptions {
  std::string cd_path;
  // Locations are given under this folder instead of the CD's path: the
  // author's folder that an image was made from.
  std::string source_root;
  // --convert SOURCE TARGET
  bool convert = false;
  std::string convert_source;
  std::string convert_target;
  bool quiet = false;
  OutputFormat format = OutputFormat::kText;
  bool werror = false;
  bool help = false;
  bool version = false;
};

struct ParsedCdCheckArguments {
  bool ok = false;
  CdCheckOptions options;
  std::string error;  // what is wrong, when !ok
};

ParsedCdCheckArguments ParseCdCheckArguments(const std::vector<std::string>& args);

extern const char kCdCheckUsage[];
extern const char kCdCheckVersion[];

// The CD that a command-line argument names, in kCdDrive.
struct OpenedCd {
  std::unique_ptr<FileSystem> files;  // null when there is none
  // An ISO image, the CD as pressed: its root must hold the programs.
  bool image = false;
  std::string display_path;  // the argument as given, in UTF-8
  std::string error;         // why there is none: "... is not a folder"
};
using CdOpener = std::function<OpenedCd(const std::string& cd_path)>;

// The files --convert reads and writes, by the host's own paths.
struct HostFiles {
  // The whole file; nothing, with `error` saying why, when it cannot be read.
  std::function<std::optional<std::string>(const std::string& path, std::string& error)>
      read;
  // Afterwards `path` holds `bytes`, or is as it was: the bytes go to a new
  // file beside it that is then renamed over it. False, with `error` saying
  // why, when that fails.
  std::function<bool(const std::string& path, const std::string& bytes, std::string& error)>
      replace;
};

struct ToolOutput {
  std::string out;  // UTF-8 (text) or ASCII (JSON, SARIF)
  std::string err;  // UTF-8
};

// The whole program; returns its exit status.
int RunCdCheckTool(const std::vector<std::string>& args, const CdOpener& open_cd,
                   ToolOutput& output, const HostFiles& host_files = {});

}  // namespace orvik::cdcheck
