#include "tools/cdcheck/cli.h"

#include "tools/cdcheck/cd_check.h"
#include "tools/cdcheck/report.h"

namespace orvik::cdcheck {

const char kCdCheckUsage[] =
    "usage: orvik-cdcheck [--quiet] [--json] CD_FOLDER\n"
    "Checks the install folder of an Orvik CD as Setup will read it.\n"
    "  --quiet  print only problems\n"
    "  --json   print the findings as JSON\n"
    "Exit status: 0 no error, 1 errors found, 2 usage error.\n";

ParsedCdCheckArguments ParseCdCheckArguments(const std::vector<std::string>& args) {
  ParsedCdCheckArguments parsed;
  bool options_ended = false;
  std::vector<std::string> folders;
  for (const auto& arg : args) {
    if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
      folders.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--quiet") {
      parsed.options.quiet = true;
    } else if (arg == "--json") {
      parsed.options.json = true;
    } else if (arg == "--help" || arg == "-h") {
      parsed.options.help = true;
    } else {
      parsed.error = "unknown option " + arg;
      return parsed;
    }
  }
  if (parsed.options.help) {
    parsed.ok = true;
    return parsed;
  }
  if (folders.size() != 1) {
    parsed.error = folders.empty() ? "no CD folder given" : "more than one CD folder given";
    return parsed;
  }
  parsed.options.cd_folder = folders.front();
  parsed.ok = true;
  return parsed;
}

int RunCdCheckTool(const std::vector<std::string>& args, const CdOpener& open_cd,
                   ToolOutput& output) {
  const ParsedCdCheckArguments parsed = ParseCdCheckArguments(args);
  if (!parsed.ok) {
    output.err += "orvik-cdcheck: " + parsed.error + "\n" + kCdCheckUsage;
    return kExitUsage;
  }
  const CdCheckOptions& options = parsed.options;
  if (options.help) {
    output.out += kCdCheckUsage;
    return kExitClean;
  }
  const auto files = open_cd(options.cd_folder);
  if (!files) {
    output.err += "orvik-cdcheck: " + options.cd_folder + " is not a folder\n";
    return kExitUsage;
  }
  const CheckResult result = CheckCd(*files, kCdDrive);
  const ReportOptions report{options.quiet};
  output.out += options.json ? FormatJson(result, report) : FormatText(result, report);
  return result.diagnostics.Count(Severity::kError) > 0 ? kExitErrors : kExitClean;
}

}  // namespace orvik::cdcheck
