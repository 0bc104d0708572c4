// The checker's findings for people (compiler-style lines, UTF-8), for
// release pipelines (JSON, ASCII) and for code-scanning services (SARIF).
#pragma once

#include <string>

#include "tools/cdcheck/findings.h"

namespace orvik::cdcheck {

struct ReportOptions {
  // Problems only: no notes and no list of installed files.
  bool quiet = false;
  // The CD as the command line named it, in UTF-8. Locations are printed
  // under it, so that an editor opens them from where the check was run;
  // empty gives locations relative to the CD's root.
  std::string cd_path;
};

std::string FormatText(const CheckResult& result, const ReportOptions& options);
std::string FormatJson(const CheckResult& result, const ReportOptions& options);
// A SARIF 2.1.0 log of one run of orvik-cdcheck `tool_version`.
std::string FormatSarif(const CheckResult& result, const ReportOptions& options,
                        const std::string& tool_version);

// Whether the report shows the finding at all.
bool Shown(const Diagnostic& diagnostic, const ReportOptions& options);

// "examples/cd" and "install/x.dat" give "examples/cd/install/x.dat", "E:\"
// gives "E:\install\x.dat": the separator the CD's path uses. In UTF-8,
// like the result of ForTerminal.
std::string PathAsGiven(const std::string& cd_path, const std::string& cd_relative);

// "install/dinstall.dat:12:200: error: ... [message-file/long-line]"
// without the line end, in UTF-8.
std::string FormatDiagnostic(const Diagnostic& diagnostic,
                             const std::string& cd_path = "");

// "orvik-cdcheck: 1 error, 2 warnings".
std::string FormatSummary(const CheckResult& result);

// Windows-1252 text as UTF-8, with the bytes a terminal would act on and
// those that have no character shown as escapes ("\x1B").
std::string ForTerminal(const std::string& cp1252_text);

}  // namespace orvik::cdcheck
