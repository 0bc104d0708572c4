// The checker's findings for people (compiler-style lines, UTF-8) and for
// release pipelines (JSON, ASCII).
#pragma once

#include <string>

#include "tools/cdcheck/findings.h"

namespace orvik::cdcheck {

struct ReportOptions {
  // Problems only: no notes and no list of installed files.
  bool quiet = false;
};

std::string FormatText(const CheckResult& result, const ReportOptions& options);
std::string FormatJson(const CheckResult& result, const ReportOptions& options);

// "install/dinstall.dat:12:200: error: ..." without the line end, in
// Windows-1252.
std::string FormatDiagnostic(const Diagnostic& diagnostic);

// "orvik-cdcheck: 1 error, 2 warnings".
std::string FormatSummary(const CheckResult& result);

}  // namespace orvik::cdcheck
