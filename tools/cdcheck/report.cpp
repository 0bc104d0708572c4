#include "tools/cdcheck/report.h"

#include <algorithm>

#include "engine/windows_path.h"
#include "tools/cdcheck/cp1252.h"
#include "tools/cdcheck/json_writer.h"
#include "tools/cdcheck/text_format.h"

namespace orvik::cdcheck {

namespace {

std::string PadLeft(const std::string& text, std::size_t width) {
  return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

std::string PadRight(const std::string& text, std::size_t width) {
  return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

// Windows paths keep their backslashes; every other gets slashes.
char PreferredSeparator(const std::string& cd_path) {
  const bool backslashes = cd_path.find('\\') != std::string::npos &&
                           cd_path.find('/') == std::string::npos;
  return backslashes || IsBareDrive(cd_path) ? '\\' : '/';
}

}  // namespace

std::string ForTerminal(const std::string& cp1252_text) {
  std::string safe;
  for (char c : cp1252_text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool control = (byte < 0x20 && c != '\n' && c != '\t') || byte == 0x7F;
    if (control || IsUndefinedInCp1252(byte))
      safe += "\\x" + HexByte(byte).substr(2);
    else
      safe += c;
  }
  return Cp1252ToUtf8(safe);
}

namespace {

std::string LanguageHeading(const LanguageResult& language) {
  std::string sources = language.message_file.empty() ? "no message file"
                                                      : language.message_file;
  sources += ", ";
  sources += language.copy_list.empty() ? "no copy list" : language.copy_list;
  return language.name + " (" + sources + ")";
}

std::string FileListing(const InstallPlan& plan) {
  std::size_t name_width = 0, size_width = 0;
  for (const auto& file : plan.files) {
    name_width = std::max(name_width, file.name.size());
    size_width = std::max(size_width, std::to_string(file.bytes).size());
  }
  std::string listing;
  for (const auto& file : plan.files) {
    std::string line = "  " + PadLeft(std::to_string(file.bytes), size_width) + "  " +
                       PadRight(file.name, name_width) + "  " +
                       (file.keep_existing ? "$" : "") + file.source;
    if (file.keep_existing) line += "  (only when missing)";
    if (file.replaced_by_line != 0)
      line += "  (replaced by line " + std::to_string(file.replaced_by_line) + ")";
    listing += line + "\n";
  }
  return listing;
}

std::string LanguageSection(const LanguageResult& language) {
  const InstallPlan& plan = language.plan;
  const std::string totals = Counted(plan.FileCount(), "file") + ", " +
                             Counted(plan.TotalBytes(), "byte");
  std::string heading = LanguageHeading(language) + ": ";
  if (!plan.stop)
    heading += "copies " + totals;
  else if (plan.files.empty())
    heading += "the installation " + *plan.stop + "; nothing is copied";
  else
    heading += "the installation " + *plan.stop + "; before that it copies " + totals;
  return "\n" + heading + (plan.files.empty() ? "\n" : ":\n") + FileListing(plan);
}

void WriteJsonDiagnostic(JsonWriter& json, const Diagnostic& diagnostic,
                         const std::string& cd_path) {
  json.BeginObject();
  json.Key("file");
  json.String(diagnostic.where.file);
  json.Key("path");
  json.Utf8String(PathAsGiven(cd_path, diagnostic.where.file));
  json.Key("line");
  if (diagnostic.where.line != 0) json.Number(static_cast<std::int64_t>(diagnostic.where.line));
  else json.Null();
  json.Key("column");
  if (diagnostic.where.column != 0) json.Number(static_cast<std::int64_t>(diagnostic.where.column));
  else json.Null();
  json.Key("severity");
  json.String(SeverityName(diagnostic.severity()));
  json.Key("rule");
  json.String(diagnostic.rule_id());
  json.Key("message");
  json.String(diagnostic.message);
  json.EndObject();
}

void WriteOptionalString(JsonWriter& json, const std::string& text) {
  if (text.empty()) json.Null();
  else json.String(text);
}

void WriteJsonFile(JsonWriter& json, const InstalledFile& file) {
  json.BeginObject();
  json.Key("name");
  json.String(file.name);
  json.Key("source");
  json.String(file.source);
  json.Key("line");
  json.Number(static_cast<std::int64_t>(file.list_line));
  json.Key("bytes");
  json.Number(static_cast<std::int64_t>(file.bytes));
  json.Key("keep_existing");
  json.Bool(file.keep_existing);
  json.Key("replaced_by_line");
  if (file.replaced_by_line != 0) json.Number(static_cast<std::int64_t>(file.replaced_by_line));
  else json.Null();
  json.EndObject();
}

void WriteJsonLanguage(JsonWriter& json, const LanguageResult& language) {
  json.BeginObject();
  json.Key("letter");
  json.String(std::string(1, language.letter));
  json.Key("name");
  json.String(language.name);
  json.Key("message_file");
  WriteOptionalString(json, language.message_file);
  json.Key("copy_list");
  WriteOptionalString(json, language.copy_list);
  json.Key("stop");
  WriteOptionalString(json, language.plan.stop.value_or(""));
  json.Key("files");
  json.BeginArray();
  for (const auto& file : language.plan.files) WriteJsonFile(json, file);
  json.EndArray();
  json.Key("total_bytes");
  json.Number(static_cast<std::int64_t>(language.plan.TotalBytes()));
  json.EndObject();
}

}  // namespace

bool Shown(const Diagnostic& diagnostic, const ReportOptions& options) {
  return !options.quiet || diagnostic.severity() != Severity::kNote;
}

std::string PathAsGiven(const std::string& cd_path, const std::string& cd_relative) {
  const char separator = PreferredSeparator(cd_path);
  std::string relative = ForTerminal(cd_relative);
  std::replace(relative.begin(), relative.end(), '/', separator);
  if (cd_path.empty() || IsPathSeparator(cd_path.back())) return cd_path + relative;
  return cd_path + separator + relative;
}

std::string FormatDiagnostic(const Diagnostic& diagnostic, const std::string& cd_path) {
  std::string where = PathAsGiven(cd_path, diagnostic.where.file);
  if (diagnostic.where.line != 0) {
    where += ":" + std::to_string(diagnostic.where.line);
    if (diagnostic.where.column != 0)
      where += ":" + std::to_string(diagnostic.where.column);
  }
  return where + ": " + SeverityName(diagnostic.severity()) + ": " +
         ForTerminal(diagnostic.message) + " [" + diagnostic.rule_id() + "]";
}

std::string FormatSummary(const CheckResult& result) {
  return "orvik-cdcheck: " +
         Counted(result.diagnostics.Count(Severity::kError), "error") + ", " +
         Counted(result.diagnostics.Count(Severity::kWarning), "warning");
}

std::string FormatText(const CheckResult& result, const ReportOptions& options) {
  std::string text;
  for (const auto& diagnostic : result.diagnostics.all())
    if (Shown(diagnostic, options))
      text += FormatDiagnostic(diagnostic, options.cd_path) + "\n";
  if (!options.quiet)
    for (const auto& language : result.languages)
      text += ForTerminal(LanguageSection(language));
  const bool problems = result.diagnostics.Count(Severity::kError) +
                            result.diagnostics.Count(Severity::kWarning) > 0;
  if (!options.quiet) text += "\n";
  if (!options.quiet || problems) text += FormatSummary(result) + "\n";
  return text;
}

std::string FormatJson(const CheckResult& result, const ReportOptions& options) {
  JsonWriter json;
  json.BeginObject();
  json.Key("product_version");
  if (result.product_version != 0) json.Number(result.product_version);
  else json.Null();
  json.Key("errors");
  json.Number(static_cast<std::int64_t>(result.diagnostics.Count(Severity::kError)));
  json.Key("warnings");
  json.Number(static_cast<std::int64_t>(result.diagnostics.Count(Severity::kWarning)));
  json.Key("diagnostics");
  json.BeginArray();
  for (const auto& diagnostic : result.diagnostics.all())
    if (Shown(diagnostic, options))
      WriteJsonDiagnostic(json, diagnostic, options.cd_path);
  json.EndArray();
  json.Key("languages");
  json.BeginArray();
  for (const auto& language : result.languages) WriteJsonLanguage(json, language);
  json.EndArray();
  json.EndObject();
  return json.Finish();
}

}  // namespace orvik::cdcheck
