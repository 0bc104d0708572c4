#include "tools/cdcheck/copy_list_check.h"

#include <optional>
#include <set>
#include <utility>

#include "engine/cd_format.h"
#include "engine/copy_list.h"
#include "engine/line_reader.h"
#include "engine/result_codes.h"
#include "engine/settings_file.h"
#include "tools/cdcheck/cp1252.h"
#include "tools/cdcheck/dry_run.h"
#include "tools/cdcheck/settings_file_check.h"
#include "tools/cdcheck/text_format.h"

namespace orvik::cdcheck {

namespace {

// Setup never gives a copy-list drive.
constexpr char kNoCopyListDrive = 0;
using cd_format::kCopyListDriveMark;

std::string Code(InstallResult result) { return std::to_string(ResultCode(result)); }

int VersionOf(const std::map<char, int>& versions, char language) {
  const auto known = versions.find(language);
  // Setup's version until a message file says otherwise.
  return known != versions.end() ? known->second : cd_format::kCurrentProductVersion;
}

std::string Entries(long long count) {
  return count < 0 ? std::to_string(count) + " entries"
                   : Counted(static_cast<std::uint64_t>(count), "entry", "entries");
}

bool IsBlankLine(const std::string& line) {
  return line.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
}

bool IsStaleDataFile(const std::string& destination_name) {
  for (const char* stale : cd_format::kStaleDataFiles)
    if (FoldCase(destination_name) == std::string("\\") + stale) return true;
  return false;
}

// The file name without its leading backslash.
std::string BareName(const std::string& destination_name) {
  return destination_name.substr(1);
}

struct SourceFile {
  bool opens = false;
  bool read_error = false;
  std::uint64_t bytes = 0;
};

// Where in a copy list an installation stops, and why.
struct StopPoint {
  std::size_t line;
  std::string why;
};

// Checks one copy list, and has the copy engine work out its installation.
class CopyListChecker {
 public:
  CopyListChecker(const Cd& cd, Diagnostics& out) : cd_(cd), out_(out) {}

  struct Checked {
    InstallPlan plan;
    CopyList list;
    bool parsed = false;  // the whole list as the header announces it
  };
  // `language` is one that installs by the list.
  Checked Check(const std::string& list_name, char language);

 private:
  struct CopiedName {
    std::size_t line;
    std::string name;
  };
  struct ListRun {
    std::string display;
    // The first copy of each destination name (case folded).
    std::map<std::string, CopiedName> copied;
    // Where Setup's parser rejects the list, when it does.
    std::optional<StopPoint> rejected;
  };

  void CheckHeader(ListRun& run, CopyListStatus status, const CopyList& list,
                   const std::vector<std::string>& lines);
  void CheckLineLengths(const ListRun& run, const std::vector<std::uint64_t>& sizes,
                        std::size_t lines_read);
  // The entry's file on the CD; null, with the error told, when Setup
  // cannot open it.
  const SourceFile* OpenableSource(ListRun& run, const CopyListEntry& entry,
                                   std::size_t position);
  void CheckEntry(ListRun& run, const CopyListEntry& entry, std::size_t position);
  void CheckCopiedEntry(ListRun& run, const CopyListEntry& entry,
                        const std::string& destination);
  void ReportSameDestination(const CopyListEntry& entry, const std::string& name,
                             const CopiedName& earlier, const ListRun& run);
  InstallPlan PlanOf(const ListRun& run, const CopyList& list, const CopyReport& report);
  std::string StopOf(const ListRun& run, const CopyList& list, const CopyReport& report,
                     std::size_t from_position) const;
  std::string EntryPath(const CopyListEntry& entry) const;
  const SourceFile& Source(const std::string& path);

  const Cd& cd_;
  Diagnostics& out_;
  std::map<std::string, SourceFile> sources_;  // by case-folded path
  std::set<std::string> checked_settings_;
};

const SourceFile& CopyListChecker::Source(const std::string& path) {
  const std::string key = FoldCase(path);
  const auto known = sources_.find(key);
  if (known != sources_.end()) return known->second;
  SourceFile source;
  if (auto file = cd_.files().OpenForReading(path)) {
    source.opens = true;
    const FileContent content = ReadContent(*file, false);
    source.read_error = content.read_error;
    source.bytes = content.size;
  }
  return sources_[key] = source;
}

std::string CopyListChecker::EntryPath(const CopyListEntry& entry) const {
  return SourcePath(entry.name, kNoCopyListDrive, cd_.drive());
}

void CopyListChecker::CheckHeader(ListRun& run, CopyListStatus status,
                                  const CopyList& list,
                                  const std::vector<std::string>& lines) {
  const std::string rejected =
      "Setup rejects the list, and every installation "
      "by it stops with " +
      Code(InstallResult::kCopyListFailed) + " before copying anything";
  const std::size_t at_line = list.entries.size() + 2;
  switch (status) {
    case CopyListStatus::kOk:
      break;
    case CopyListStatus::kBadHeader:
      out_.Add(Rule::kCopyListBadHeader, {run.display, 1},
               "the first line must begin with the number of entries: " + rejected);
      run.rejected = {1, "the header is not a number"};
      return;
    case CopyListStatus::kMissingEntries:
      out_.Add(Rule::kCopyListMissingEntries, {run.display, lines.size()},
               "the header announces " + Entries(list.entry_count) + ", but only " +
                   std::to_string(list.entries.size()) +
                   (list.entries.size() == 1 ? " follows: " : " follow: ") + rejected);
      run.rejected = {lines.size(), "entry lines are missing"};
      return;
    case CopyListStatus::kEntryWithoutName:
      out_.Add(Rule::kCopyListEntryWithoutName, {run.display, at_line},
               "the entry line holds no name: " + rejected);
      run.rejected = {at_line, "an entry line holds no name"};
      return;
    case CopyListStatus::kReadError:
      out_.Add(Rule::kCopyListUnreadable, {run.display},
               "cannot be read to its end: " + rejected);
      run.rejected = {at_line, "the list cannot be read"};
      return;
  }
  if (list.entry_count <= 0)
    out_.Add(Rule::kCopyListNoEntries, {run.display, 1},
             "the header announces no entries: nothing is copied");
  for (std::size_t i = list.entries.size() + 1; i < lines.size(); ++i) {
    if (IsBlankLine(lines[i])) continue;
    const std::size_t after = lines.size() - i - 1;
    out_.Add(Rule::kCopyListUnreadLines, {run.display, i + 1},
             (after == 0 ? std::string("this line is")
                         : "this line and the " + std::to_string(after) +
                               " after it are") +
                 " never read: the header announces " + Entries(list.entry_count));
    break;
  }
}

void CopyListChecker::CheckLineLengths(const ListRun& run,
                                       const std::vector<std::uint64_t>& sizes,
                                       std::size_t lines_read) {
  for (std::size_t i = 0; i < sizes.size() && i < lines_read; ++i)
    if (sizes[i] > cd_format::kCopyListLineBytes)
      out_.Add(Rule::kCopyListLongLine, {run.display, i + 1, cd_format::kCopyListLineBytes + 1},
               "the line is " + std::to_string(sizes[i]) +
                   " bytes long with its line break, more than the " +
                   std::to_string(cd_format::kCopyListLineBytes) +
                   " a copy-list line may have; earlier releases of Setup read "
                   "the rest as a line of its own");
}

const SourceFile* CopyListChecker::OpenableSource(ListRun& run,
                                                  const CopyListEntry& entry,
                                                  std::size_t position) {
  const Location at{run.display, entry.line_number};
  if (entry.name[0] == kCopyListDriveMark) {
    out_.Add(Rule::kCopyListCopyListDrive, at,
             "'" + entry.name +
                 "': a name beginning with ':' is taken from the copy list's own "
                 "drive, which Setup never names: the file cannot be opened and "
                 "the installation stops here with " +
                 Code(InstallResult::kSourceFileFailed));
    return nullptr;
  }
  const SourceFile& source = Source(EntryPath(entry));
  if (source.opens) return &source;
  out_.Add(Rule::kCopyListSourceMissing, at,
           entry.name + " is not on the CD: every installation by this list stops "
                        "here with " +
               Code(InstallResult::kSourceFileFailed) +
               (IsCheckOnlyPosition(position)
                    ? " (position " + std::to_string(position) +
                          " is only checked, not copied, but the file must be there)"
                    : ""));
  return nullptr;
}

void CopyListChecker::CheckEntry(ListRun& run, const CopyListEntry& entry,
                                 std::size_t position) {
  const SourceFile* source = OpenableSource(run, entry, position);
  if (source == nullptr) return;
  const Location at{run.display, entry.line_number};
  if (IsCheckOnlyPosition(position)) {
    if (entry.keep_existing)
      out_.Add(Rule::kCopyListKeepExistingCheckOnly, at,
               "'$' does nothing here: position " + std::to_string(position) +
                   " is only checked, not copied");
    return;
  }
  if (source->read_error) {
    out_.Add(Rule::kCopyListSourceUnreadable, at,
             entry.name + " cannot be read to its end: the installation stops "
                          "here with " +
                 Code(InstallResult::kSourceFileFailed));
    return;
  }
  const auto destination = DestinationName(entry.name);
  if (!destination) {
    out_.Add(Rule::kCopyListNoDestinationName, at,
             "no file name in the destination folder can be formed from " +
                 entry.name + ": every installation by this list stops with " +
                 Code(InstallResult::kDestFileFailed) + " before copying anything");
    return;
  }
  CheckCopiedEntry(run, entry, *destination);
}

void CopyListChecker::ReportSameDestination(const CopyListEntry& entry,
                                            const std::string& name,
                                            const CopiedName& earlier,
                                            const ListRun& run) {
  const Location at{run.display, entry.line_number};
  std::string earlier_copy = "line " + std::to_string(earlier.line) +
                             " already puts " + earlier.name +
                             " into the destination folder";
  if (name != earlier.name)
    earlier_copy += " (" + name + " is the same name: Windows compares file "
                                  "names ignoring case)";
  if (entry.keep_existing)
    out_.Add(Rule::kCopyListKeepExistingNeverCopied, at,
             "never copied: " + earlier_copy + ", and '$' keeps a file that is there");
  else
    out_.Add(Rule::kCopyListDuplicateDestination, at,
             "overwrites an earlier copy: " + earlier_copy);
}

void CopyListChecker::CheckCopiedEntry(ListRun& run, const CopyListEntry& entry,
                                       const std::string& destination) {
  const Location at{run.display, entry.line_number};
  const std::string name = BareName(destination);
  const std::string key = FoldCase(destination);
  const auto earlier = run.copied.find(key);
  if (earlier != run.copied.end())
    ReportSameDestination(entry, name, earlier->second, run);
  else if (entry.keep_existing)
    out_.Add(Rule::kCopyListKeepExisting, at,
             "'$': copied only when " + name +
                 " is not in the destination folder yet, so a reinstallation "
                 "keeps the user's copy");
  if (IsStaleDataFile(destination))
    out_.Add(Rule::kCopyListDeletedAfterCopy, at,
             name + " is deleted again: Setup removes it from the destination "
                    "folder after copying");
  if (earlier == run.copied.end()) run.copied[key] = {entry.line_number, name};

  if (SettingsFileNamed(destination) != SettingsFile::kNone &&
      checked_settings_.insert(FoldCase(entry.name)).second)
    CheckSettingsFile(cd_, entry.name, out_);
}

// The files the engine's run copied, which are those of the list's copied
// positions in order until it stopped (a kept file is none), and where it
// stopped.
InstallPlan CopyListChecker::PlanOf(const ListRun& run, const CopyList& list,
                                    const CopyReport& report) {
  InstallPlan plan;
  // The plan's file of each destination name (case folded).
  std::map<std::string, std::size_t> planned;
  std::size_t reported = 0, position = 0;
  for (; position < list.entries.size() && reported < report.files.size(); ++position) {
    if (IsCheckOnlyPosition(position)) continue;
    const CopyListEntry& entry = list.entries[position];
    const orvik::InstalledFile& copied = report.files[reported++];
    if (copied.kept) continue;
    const std::string key = FoldCase(copied.name);
    const auto earlier = planned.find(key);
    if (earlier != planned.end())
      plan.files[earlier->second].replaced_by_line = entry.line_number;
    planned[key] = plan.files.size();
    plan.files.push_back({copied.name, entry.name, entry.line_number,
                          Source(EntryPath(entry)).bytes, entry.keep_existing, 0});
  }
  if (report.result != InstallResult::kOk)
    plan.stop = StopOf(run, list, report, position);
  return plan;
}

// The run's failed step and path, told by the entry that failed: the first
// from `from_position` on that the step names.
std::string CopyListChecker::StopOf(const ListRun& run, const CopyList& list,
                                    const CopyReport& report,
                                    std::size_t from_position) const {
  const auto at = [&](const StopPoint& point) {
    return "stops at " + run.display + ":" + std::to_string(point.line) + ": " + point.why;
  };
  const CopyStep step = report.failed_step;
  if (step == CopyStep::kOpenCopyList) return run.display + " cannot be opened";
  if (step == CopyStep::kReadCopyList && run.rejected) return at(*run.rejected);
  for (std::size_t position = from_position; position < list.entries.size(); ++position) {
    const CopyListEntry& entry = list.entries[position];
    const bool copied = !IsCheckOnlyPosition(position);
    if (step == CopyStep::kDestinationName && copied && !DestinationName(entry.name))
      return at({entry.line_number, entry.name + " has no destination name"});
    if (step == CopyStep::kOpenSource && EntryPath(entry) == report.failed_path)
      return at({entry.line_number,
                 entry.name + (entry.name[0] == kCopyListDriveMark ? " cannot be opened"
                                                                   : " is not on the CD")});
    if (step == CopyStep::kReadSource && copied && EntryPath(entry) == report.failed_path)
      return at({entry.line_number, entry.name + " cannot be read"});
  }
  // A step no entry stands for: memory ran out.
  return std::string("cannot ") + CopyStepText(step) +
         (report.failed_path.empty() ? "" : " " + report.failed_path);
}

CopyListChecker::Checked CopyListChecker::Check(const std::string& list_name,
                                                char language) {
  ListRun run;
  run.display = DisplayName(list_name);
  Checked checked;
  auto list_file = cd_.Open(list_name);
  auto lines_file = cd_.Open(list_name);
  if (!list_file || !lines_file) {
    out_.Add(Rule::kCopyListUnreadable, {run.display}, "cannot be opened");
    checked.plan.stop = run.display + " cannot be opened";
    return checked;
  }
  LineCappedFile capped_list(*list_file);
  const CopyListStatus status = ParseCopyList(capped_list, checked.list);
  const FileLines stored = ReadLines(*lines_file, LineReader::kUnlimited);
  const std::vector<std::string>& lines = stored.lines;
  const CopyList& list = checked.list;

  CheckHeader(run, status, list, lines);
  CheckLineLengths(run, stored.sizes, list.entries.size() + 1);
  for (std::size_t position = 0; position < list.entries.size(); ++position)
    CheckEntry(run, list.entries[position], position);
  checked.plan = PlanOf(run, list, DryRunInstallation(cd_, language));
  checked.parsed = status == CopyListStatus::kOk;
  return checked;
}

// The position of the first entry that lands on `folded_name`, among those
// that are copied or those only checked.
std::optional<std::size_t> FirstEntryNamed(const CopyList& list,
                                           const std::string& folded_name,
                                           bool check_only) {
  for (std::size_t position = 0; position < list.entries.size(); ++position) {
    const auto destination = DestinationName(list.entries[position].name);
    if (IsCheckOnlyPosition(position) == check_only && destination &&
        FoldCase(*destination) == folded_name)
      return position;
  }
  return std::nullopt;
}

// A program named at a position that is only checked is the likely slip of
// an entry moved by a line.
std::string CheckOnlyHint(const CopyList& list, const std::string& folded_target) {
  const auto position = FirstEntryNamed(list, folded_target, true);
  if (!position) return "";
  return " (line " + std::to_string(list.entries[*position].line_number) +
         " names it at position " + std::to_string(*position) +
         ", which is only checked, not copied)";
}

// Setup points the desktop shortcut at orvik8.exe (orvik7.exe for a
// version 7 CD) in the destination folder without looking whether the list
// put it there.
void CheckShortcutTarget(const std::string& display, const CopyList& list,
                         int product_version, const std::vector<std::string>& languages,
                         Diagnostics& out) {
  const std::string target = cd_format::ProgramName(product_version);
  const std::string folded_target = FoldCase("\\" + target);
  if (FirstEntryNamed(list, folded_target, false)) return;
  out.Add(Rule::kCopyListShortcutTargetMissing, {display},
          "installs no " + target +
              ", the program the desktop shortcut points to: for " +
              JoinWithAnd(languages) + " the shortcut that Setup creates leads nowhere" +
              CheckOnlyHint(list, folded_target));
}

}  // namespace

std::vector<std::string> CopyListNames(char language) {
  std::vector<std::string> names;
  for (char letter : cd_format::CopyListLetters(language))
    names.push_back(cd_format::CopyListOnSource(letter));
  return names;
}

std::map<char, LanguageInstall> CheckCopyLists(const Cd& cd,
                                               const std::map<char, int>& versions,
                                               Diagnostics& out) {
  std::map<char, LanguageInstall> installs;
  // Each list once, in the order the languages first use it.
  std::vector<std::pair<std::string, std::vector<char>>> users;
  for (const auto& language : kLanguages) {
    const auto names = CopyListNames(language.letter);
    const std::string own = DisplayName(names.front());
    std::string chosen;
    for (const auto& name : names)
      if (chosen.empty() && cd.Exists(name)) chosen = name;
    if (chosen.empty()) {
      out.Add(Rule::kCopyListNone, {own},
              std::string("no copy list for ") + language.name +
                  ": every installation in it stops with " +
                  Code(InstallResult::kCopyListFailed));
      installs[language.letter].plan.stop = "no copy list";
      continue;
    }
    if (chosen != names.front())
      out.Add(Rule::kCopyListFallback, {own},
              std::string("missing: Setup installs ") + language.name + " by " +
                  DisplayName(chosen));
    installs[language.letter].copy_list = DisplayName(chosen);
    auto user = users.begin();
    while (user != users.end() && user->first != chosen) ++user;
    if (user == users.end()) user = users.insert(users.end(), {chosen, {}});
    user->second.push_back(language.letter);
  }

  CopyListChecker checker(cd, out);
  for (const auto& [name, letters] : users) {
    const auto checked = checker.Check(name, letters.front());
    std::map<int, std::vector<std::string>> languages_of_version;
    for (char letter : letters) {
      installs[letter].plan = checked.plan;
      languages_of_version[VersionOf(versions, letter)].push_back(LanguageName(letter));
    }
    if (!checked.parsed) continue;
    for (const auto& [version, languages] : languages_of_version)
      CheckShortcutTarget(DisplayName(name), checked.list, version, languages, out);
  }
  return installs;
}

}  // namespace orvik::cdcheck
