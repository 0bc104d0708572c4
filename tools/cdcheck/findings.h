// What the CD checker finds: diagnostics in the form compilers give them,
// and for each language the files an installation copies.
//
// All text here is Windows-1252, like the CD it comes from; the reports
// convert it for their readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/cdcheck/rules.h"

namespace orvik::cdcheck {

struct Location {
  // Relative to the CD's root, with forward slashes: "install/dinstall.dat".
  std::string file;
  // Counted from 1 as editors count; 0 when the finding is about the file.
  std::size_t line = 0;
  // Byte in the line, from 1; 0 when none.
  std::size_t column = 0;
};

struct Diagnostic {
  Location where;
  Rule rule = Rule::kMessageFileVersion;
  std::string message;
  // For reports that must point into a file that exists (code scanning):
  // where a finding about a folder or a missing file is shown instead, the
  // copy-list line that names the file or the file that stands for the
  // CD. Empty when `where` is such a file already, or when the CD holds no
  // file that could stand in.
  Location on_file;

  Severity severity() const { return InfoOf(rule).severity; }
  const char* rule_id() const { return InfoOf(rule).id; }
};

class Diagnostics {
 public:
  // The severity is the rule's.
  void Add(Rule rule, Location where, std::string message);

  const std::vector<Diagnostic>& all() const { return all_; }
  std::vector<Diagnostic>& all_mutable() { return all_; }
  // Groups the findings by file, in the order the files first came up, and
  // orders each file's by line and column.
  void SortByPlace();
  std::size_t Count(Severity severity) const;

 private:
  std::vector<Diagnostic> all_;
};

// A file that lands in the destination folder.
struct InstalledFile {
  std::string name;          // "orvik8.exe"
  std::string source;        // the copy list's name, "\prog\orvik8.exe"
  std::size_t list_line = 0;
  std::uint64_t bytes = 0;   // as on the CD
  bool keep_existing = false;
  // Line of a later entry whose copy overwrites this one; 0 when none.
  std::size_t replaced_by_line = 0;
};

// What an installation from one copy list does, on an empty destination.
struct InstallPlan {
  std::vector<InstalledFile> files;  // in the order they are copied
  // Why and where the installation stops, when it does; the files listed
  // are then those copied before.
  std::optional<std::string> stop;
  // The bytes of the files that stay, each destination name counted once.
  std::uint64_t TotalBytes() const;
  std::size_t FileCount() const;
};

struct LanguageResult {
  char letter = 0;
  std::string name;          // "Deutsch"
  std::string message_file;  // the file Setup reads its texts from; "" for none
  std::string copy_list;     // the copy list it installs by; "" for none
  InstallPlan plan;
};

struct CheckResult {
  // 8, 7 for the legacy layout, 0 when there is no message file at all.
  int product_version = 0;
  Diagnostics diagnostics;
  std::vector<LanguageResult> languages;
};

// The CD-relative display name of a name on the CD ("\prog\x" gives
// "prog/x").
std::string DisplayName(const std::string& name_on_cd);

}  // namespace orvik::cdcheck
