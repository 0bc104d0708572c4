#include "tools/cdcheck/cli.h"

#include "tools/cdcheck/cd_check.h"
#include "tools/cdcheck/report.h"

namespace orvik::cdcheck {

const char kCdCheckVersion[] = ORVIK_CDCHECK_VERSION;
const char kOutOfMemoryMessage[] = "orvik-cdcheck: out of memory: no report\n";

const char kCdCheckUsage[] =
    "usage: orvik-cdcheck [OPTIONS] CD\n"
    "Checks the install folder of an Orvik CD as Setup will read it. CD is the\n"
    "CD's root folder, a CD drive, or an ISO 9660 image (Linux build).\n"
    "  --quiet          print only problems\n"
    "  --format FORMAT  text (the default), json, or sarif (SARIF 2.1.0)\n"
    "  --json           the same as --format json\n"
    "  --werror         treat warnings as errors in the exit status\n"
    "  --version        print the version\n"
    "  --help, -h, /?   print this help\n"
    "Exit status: 0 no error, 1 errors found (or warnings with --werror),\n"
    "2 usage error or no CD at the path given.\n";

namespace {

const std::string kFormatOption = "--format";
const std::string kFormatPrefix = kFormatOption + "=";

bool ParseFormat(const std::string& name, OutputFormat& format) {
  if (name == "text") format = OutputFormat::kText;
  else if (name == "json") format = OutputFormat::kJson;
  else if (name == "sarif") format = OutputFormat::kSarif;
  else return false;
  return true;
}

bool IsHelp(const std::string& arg) {
  return arg == "--help" || arg == "-h" || arg == "/?";
}

// "--format=json" or "--format json"; the value then comes from the next
// argument, which `next` moves past.
bool TakeFormat(const std::vector<std::string>& args, std::size_t& next,
                ParsedCdCheckArguments& parsed) {
  const std::string& arg = args[next];
  std::string value;
  if (arg == kFormatOption) {
    if (next + 1 >= args.size()) {
      parsed.error = "--format needs a value: text, json or sarif";
      return false;
    }
    value = args[++next];
  } else {
    value = arg.substr(kFormatPrefix.size());
  }
  if (ParseFormat(value, parsed.options.format)) return true;
  parsed.error = "unknown format " + value + ": use text, json or sarif";
  return false;
}

bool IsFormatOption(const std::string& arg) {
  return arg == kFormatOption || arg.compare(0, kFormatPrefix.size(), kFormatPrefix) == 0;
}

}  // namespace

ParsedCdCheckArguments ParseCdCheckArguments(const std::vector<std::string>& args) {
  ParsedCdCheckArguments parsed;
  CdCheckOptions& options = parsed.options;
  bool options_ended = false;
  std::vector<std::string> cds;
  for (std::size_t next = 0; next < args.size(); ++next) {
    const std::string& arg = args[next];
    if (options_ended) {
      cds.push_back(arg);
    } else if (IsHelp(arg)) {
      options.help = true;
    } else if (arg.empty() || arg[0] != '-' || arg == "-") {
      cds.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--json") {
      options.format = OutputFormat::kJson;
    } else if (IsFormatOption(arg)) {
      if (!TakeFormat(args, next, parsed)) return parsed;
    } else if (arg == "--werror") {
      options.werror = true;
    } else if (arg == "--version") {
      options.version = true;
    } else {
      parsed.error = "unknown option " + arg;
      return parsed;
    }
  }
  if (options.help || options.version) {
    parsed.ok = true;
    return parsed;
  }
  if (cds.size() != 1) {
    parsed.error = cds.empty() ? "no CD given" : "more than one CD given";
    return parsed;
  }
  options.cd_path = cds.front();
  parsed.ok = true;
  return parsed;
}

namespace {

std::string Report(const CheckResult& result, const CdCheckOptions& options,
                   const std::string& display_path) {
  const ReportOptions report{options.quiet, display_path};
  switch (options.format) {
    case OutputFormat::kText: return FormatText(result, report);
    case OutputFormat::kJson: return FormatJson(result, report);
    case OutputFormat::kSarif: return FormatSarif(result, report, kCdCheckVersion);
  }
  return FormatText(result, report);
}

int ExitStatus(const CheckResult& result, bool werror) {
  const Diagnostics& found = result.diagnostics;
  const bool failed = found.Count(Severity::kError) > 0 ||
                      (werror && found.Count(Severity::kWarning) > 0);
  return failed ? kExitErrors : kExitClean;
}

}  // namespace

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
  if (options.version) {
    output.out += std::string("orvik-cdcheck ") + kCdCheckVersion + "\n";
    return kExitClean;
  }
  const OpenedCd cd = open_cd(options.cd_path);
  if (!cd.files) {
    output.err += "orvik-cdcheck: " + cd.error + "\n";
    return kExitUsage;
  }
  const CheckResult result = CheckCd(*cd.files, kCdDrive, cd.image);
  output.out += Report(result, options, cd.display_path);
  return ExitStatus(result, options.werror);
}

}  // namespace orvik::cdcheck
