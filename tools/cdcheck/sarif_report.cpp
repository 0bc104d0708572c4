// The findings as a SARIF 2.1.0 log, the format CI code-scanning services
// read: the rule table in tool.driver.rules, one result per finding.
#include <algorithm>

#include "engine/ascii.h"
#include "tools/cdcheck/cp1252.h"
#include "tools/cdcheck/json_writer.h"
#include "tools/cdcheck/report.h"

namespace orvik::cdcheck {

namespace {

constexpr char kSarifSchema[] = "https://json.schemastore.org/sarif-2.1.0.json";
constexpr char kSarifVersion[] = "2.1.0";
constexpr char kToolName[] = "orvik-cdcheck";
// Where this tree's files are published; the build sets it.
constexpr char kDocsUri[] = ORVIK_DOCS_URI;
constexpr char kToolDocs[] = "tools/cdcheck/README.md";
constexpr char kRuleDocs[] = "docs/cd-authoring.md#what-orvik-cdcheck-reports";
// Code scanning keys a run's results on its category, the id's prefix.
constexpr char kAutomationId[] = "orvik-cdcheck/";
// A finding about a whole file points to its first line: code-scanning
// services want a line to show.
constexpr std::size_t kWholeFileLine = 1;

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
}

std::string PercentEncoded(const std::string& utf8_path) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string encoded;
  for (char c : utf8_path) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsUnreserved(byte)) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kDigits[byte >> 4];
      encoded += kDigits[byte & 0x0F];
    }
  }
  return encoded;
}

// A relative path stays a relative reference, which code scanning resolves
// against the checked-out repository; an absolute one becomes a file URI.
std::string ArtifactUri(const std::string& cd_path, const std::string& cd_relative) {
  std::string path = cd_path;
  std::replace(path.begin(), path.end(), '\\', '/');
  if (!path.empty() && path.back() != '/') path += '/';
  path += Cp1252ToUtf8(cd_relative);
  const bool has_drive = path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':';
  if (has_drive) return "file:///" + path.substr(0, 2) + PercentEncoded(path.substr(2));
  if (path.compare(0, 2, "//") == 0) return "file:" + PercentEncoded(path);
  if (!path.empty() && path[0] == '/') return "file://" + PercentEncoded(path);
  return PercentEncoded(path);
}

void WriteText(JsonWriter& json, const char* key, const std::string& cp1252_text) {
  json.Key(key);
  json.BeginObject();
  json.Key("text");
  json.String(cp1252_text);
  json.EndObject();
}

// "message-file/long-line" gives "MessageFileLongLine".
std::string RuleName(const std::string& id) {
  std::string name;
  bool word_start = true;
  for (char c : id) {
    if (c == '/' || c == '-') {
      word_start = true;
    } else {
      name += word_start ? AsciiUpper(c) : c;
      word_start = false;
    }
  }
  return name;
}

// "8.0" gives "8.0.0": semantic versions have three parts.
std::string SemanticVersion(std::string version) {
  for (auto dots = std::count(version.begin(), version.end(), '.'); dots < 2; ++dots)
    version += ".0";
  return version;
}

const char* SeverityMeaning(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "An error: an installation fails, or Setup shows or does something other "
             "than what the author wrote.";
    case Severity::kWarning:
      return "A warning: it works with this Setup but is fragile, or breaks earlier "
             "releases of Setup.";
    case Severity::kNote: return "A note: information about the CD.";
  }
  return "";
}

void WriteRule(JsonWriter& json, const RuleInfo& rule) {
  const std::string summary = std::string(rule.summary) + ".";
  const std::string help = rule.help != nullptr ? rule.help : "";
  const std::string help_uri = std::string(kDocsUri) + kRuleDocs;
  json.BeginObject();
  json.Key("id");
  json.String(rule.id);
  json.Key("name");
  json.String(RuleName(rule.id));
  WriteText(json, "shortDescription", summary);
  WriteText(json, "fullDescription", summary + " " + SeverityMeaning(rule.severity));
  json.Key("help");
  json.BeginObject();
  json.Key("text");
  json.String(help + " See docs/cd-authoring.md, What orvik-cdcheck reports.");
  json.Key("markdown");
  json.String("**" + summary + "** " + help + "\n\nSee [What orvik-cdcheck reports](" +
              help_uri + ") in the CD author's guide.");
  json.EndObject();
  json.Key("helpUri");
  json.String(help_uri);
  json.Key("defaultConfiguration");
  json.BeginObject();
  json.Key("level");
  json.String(SeverityName(rule.severity));
  json.EndObject();
  json.EndObject();
}

void WriteDriver(JsonWriter& json, const std::string& tool_version) {
  json.Key("tool");
  json.BeginObject();
  json.Key("driver");
  json.BeginObject();
  json.Key("name");
  json.String(kToolName);
  json.Key("version");
  json.String(tool_version);
  json.Key("semanticVersion");
  json.String(SemanticVersion(tool_version));
  json.Key("informationUri");
  json.String(std::string(kDocsUri) + kToolDocs);
  json.Key("rules");
  json.BeginArray();
  for (std::size_t i = 0; i < kRuleCount; ++i) WriteRule(json, InfoOf(RuleAt(i)));
  json.EndArray();
  json.EndObject();
  json.EndObject();
}

void WriteLocation(JsonWriter& json, const Location& where, const std::string& cd_path) {
  json.BeginObject();
  json.Key("physicalLocation");
  json.BeginObject();
  json.Key("artifactLocation");
  json.BeginObject();
  json.Key("uri");
  json.Utf8String(ArtifactUri(cd_path, where.file));
  json.EndObject();
  json.Key("region");
  json.BeginObject();
  json.Key("startLine");
  json.Number(static_cast<std::int64_t>(where.line != 0 ? where.line : kWholeFileLine));
  if (where.column != 0) {
    json.Key("startColumn");
    json.Number(static_cast<std::int64_t>(where.column));
  }
  json.EndObject();
  json.EndObject();
  json.EndObject();
}

void WriteResult(JsonWriter& json, const Diagnostic& diagnostic,
                 const std::string& cd_path) {
  json.BeginObject();
  json.Key("ruleId");
  json.String(diagnostic.rule_id());
  json.Key("ruleIndex");
  json.Number(static_cast<std::int64_t>(diagnostic.rule));
  json.Key("level");
  json.String(SeverityName(diagnostic.severity()));
  WriteText(json, "message", diagnostic.message);
  // Only a file that exists is a location code scanning can show; a CD
  // without any file has none to give.
  const Location& where =
      diagnostic.on_file.file.empty() ? diagnostic.where : diagnostic.on_file;
  const bool on_a_file = !where.file.empty() && where.file.back() != '/';
  json.Key("locations");
  json.BeginArray();
  if (on_a_file) WriteLocation(json, where, cd_path);
  json.EndArray();
  json.EndObject();
}

}  // namespace

std::string FormatSarif(const CheckResult& result, const ReportOptions& options,
                        const std::string& tool_version) {
  JsonWriter json;
  json.BeginObject();
  json.Key("$schema");
  json.String(kSarifSchema);
  json.Key("version");
  json.String(kSarifVersion);
  json.Key("runs");
  json.BeginArray();
  json.BeginObject();
  WriteDriver(json, tool_version);
  json.Key("automationDetails");
  json.BeginObject();
  json.Key("id");
  json.String(kAutomationId);
  json.EndObject();
  json.Key("columnKind");
  json.String("utf16CodeUnits");
  json.Key("results");
  json.BeginArray();
  for (const auto& diagnostic : result.diagnostics.all())
    if (Shown(diagnostic, options)) WriteResult(json, diagnostic, options.cd_path);
  json.EndArray();
  json.EndObject();
  json.EndArray();
  json.EndObject();
  return json.Finish();
}

}  // namespace orvik::cdcheck
