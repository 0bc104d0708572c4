// Every kind of finding the checker reports, with the id that scripts and
// code-scanning services key on. Ids are stable: a rule may be added, but
// an id is never renamed or given to another kind of finding.
#pragma once

#include <cstddef>

namespace orvik::cdcheck {

enum class Severity { kError, kWarning, kNote };

const char* SeverityName(Severity severity);

enum class Rule {
  kMessageFileNone,
  kMessageFileVersion,
  kMessageFileLegacyBeside,
  kMessageFileMissingForLanguage,
  kMessageFileFallsToLegacy,
  kMessageFileInRoot,
  kMessageFileUnreadable,
  kMessageFileMissingLines,
  kMessageFileLongLine,
  kMessageFileNulByte,
  kMessageFileUndefinedByte,
  kMessageFileControlCharacter,
  kMessageFileUtf8,
  kMessageFileVisibleMarker,
  kMessageFileOverBudget,
  kMessageFileEmptyText,
  kCopyListNone,
  kCopyListFallback,
  kCopyListUnreadable,
  kCopyListBadHeader,
  kCopyListMissingEntries,
  kCopyListEntryWithoutName,
  kCopyListNoEntries,
  kCopyListUnreadLines,
  kCopyListLongLine,
  kCopyListCopyListDrive,
  kCopyListSourceMissing,
  kCopyListSourceUnreadable,
  kCopyListNoDestinationName,
  kCopyListDuplicateDestination,
  kCopyListKeepExistingNeverCopied,
  kCopyListKeepExisting,
  kCopyListKeepExistingCheckOnly,
  kCopyListDeletedAfterCopy,
  kCopyListShortcutTargetMissing,
  kSettingsFileNoLanguageLine,
  kSettingsFileLanguageLineAtEnd,
  kSettingsFileNoLanguageLetter,
  kSettingsFileSecondLanguageLine,
  kMessageFileStrayCr,
  kMessageFileWiderThanMessageArea,
  kMessageFileAmpersandPrefix,
  kImageMissingRootFile,
  kCount
};

struct RuleInfo {
  const char* id;  // "copy-list/source-missing"
  Severity severity;
  const char* summary;
  // What the author does about it, in a sentence.
  const char* help;
};

const RuleInfo& InfoOf(Rule rule);

constexpr std::size_t kRuleCount = static_cast<std::size_t>(Rule::kCount);

// The rules in the order of Rule, for listings (SARIF's rule table).
Rule RuleAt(std::size_t index);

}  // namespace orvik::cdcheck
