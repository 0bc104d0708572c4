#include "tools/cdcheck/cli.h"

#include "tools/cdcheck/cd_check.h"
#include "tools/cdcheck/report.h"
#include "tools/cdcheck/text_converter.h"

namespace orvik::cdcheck {

const char kCdCheckVersion[] = ORVIK_CDCHECK_VERSION;
const char kOutOfMemoryMessage[] = "orvik-cdcheck: out of memory: no report\n";

const char kCdCheckUsage[] =
    "usage: orvik-cdcheck [OPTIONS] CD\n"
    "       orvik-cdcheck --convert SOURCE.txt TARGET.dat\n"
    "Checks the install folder of an Orvik CD as Setup will read it. CD is the\n"
    "CD's root folder, a CD drive, or an ISO 9660 image (Linux build).\n"
    "  --quiet          print only problems\n"
    "  --format FORMAT  text (the default), json, or sarif (SARIF 2.1.0)\n"
    "  --json           the same as --format json\n"
    "  --werror         treat warnings as errors in the exit status\n"
    "  --source-root FOLDER  give locations under FOLDER, the folder the\n"
    "                   image was made from, instead of under CD\n"
    "  --convert SOURCE TARGET  write the text SOURCE (UTF-8, with or without\n"
    "                   BOM, or Windows-1252; LF or CR LF) as the message file\n"
    "                   TARGET (Windows-1252, CR LF); nothing is written when a\n"
    "                   character has no place in Windows-1252\n"
    "  --version        print the version\n"
    "  --help, -h, /?   print this help\n"
    "Exit status: 0 no error, 1 errors found (or warnings with --werror, or a\n"
    "text that cannot be converted), 2 usage error, no CD at the path given,\n"
    "or a file that cannot be read or written.\n";

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
    } else if (arg == "--source-root" || arg == "--convert") {
      const std::size_t values = arg == "--convert" ? 2 : 1;
      if (next + values >= args.size()) {
        parsed.error = arg + (values == 2 ? " needs SOURCE and TARGET" : " needs a folder");
        return parsed;
      }
      if (values == 1) {
        options.source_root = args[++next];
      } else {
        options.convert = true;
        options.convert_source = args[++next];
        options.convert_target = args[++next];
      }
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
  if (options.convert) {
    if (!cds.empty()) {
      parsed.error = "--convert takes no CD";
      return parsed;
    }
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

int Convert(const CdCheckOptions& options, const HostFiles& files, ToolOutput& output) {
  const std::string& source = options.convert_source;
  const std::string& target = options.convert_target;
  if (!files.read || !files.replace) {
    output.err += "orvik-cdcheck: this program cannot convert files\n";
    return kExitUsage;
  }
  std::string error;
  const std::optional<std::string> text = files.read(source, error);
  if (!text) {
    output.err += "orvik-cdcheck: " + error + "\n";
    return kExitUsage;
  }
  const Conversion converted = ConvertToMessageFile(*text);
  const std::string read_as = std::string(" read as ") + EncodingName(converted.encoding);
  if (!converted.ok()) {
    for (const auto& failure : converted.errors)
      output.err += source + ":" + std::to_string(failure.line) + ":" +
                    std::to_string(failure.column) + ": error: " + failure.message + "\n";
    output.err += "orvik-cdcheck: " + source + read_as + ": nothing written to " + target + "\n";
    return kExitErrors;
  }
  if (!files.replace(target, converted.text, error)) {
    output.err += "orvik-cdcheck: " + error + ": nothing written to " + target + "\n";
    return kExitUsage;
  }
  output.out += "orvik-cdcheck: " + source + read_as + ", written to " + target +
                " as Windows-1252 with CR LF line ends\n";
  return kExitClean;
}

int ExitStatus(const CheckResult& result, bool werror) {
  const Diagnostics& found = result.diagnostics;
  const bool failed = found.Count(Severity::kError) > 0 ||
                      (werror && found.Count(Severity::kWarning) > 0);
  return failed ? kExitErrors : kExitClean;
}

}  // namespace

int RunCdCheckTool(const std::vector<std::string>& args, const CdOpener& open_cd,
                   ToolOutput& output, const HostFiles& host_files) {
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
  if (options.convert) return Convert(options, host_files, output);
  const OpenedCd cd = open_cd(options.cd_path);
  if (!cd.files) {
    output.err += "orvik-cdcheck: " + cd.error + "\n";
    return kExitUsage;
  }
  const CheckResult result = CheckCd(*cd.files, kCdDrive, cd.image);
  const std::string& shown_path = options.source_root.empty() ? cd.display_path
                                                              : options.source_root;
  output.out += Report(result, options, shown_path);
  return ExitStatus(result, options.werror);
}

}  // namespace orvik::cdcheck
