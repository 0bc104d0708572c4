// The copy list: the text file on the CD that names the files Setup checks
// or copies. The copy engine and the CD checker both read it here, so that
// they agree on its format, on which positions are only checked, and on
// the path and destination name an entry stands for.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/cd_source.h"
#include "engine/cd_format.h"
#include "engine/file_system.h"

namespace orvik {

struct CopyListEntry {
  // "$" before the name: copied only when the destination file is missing.
  bool keep_existing = false;
  // As written on the CD: "\prog\main.exe", or ":\extra\x.dat" for a file
  // on the copy list's own drive.
  std::string name;
  // Counted from 1; the header is line 1, so entry i stands on line i + 2.
  std::size_t line_number = 0;
};

struct CopyList {
  // As the header announces it; 0 or less means no entries.
  long long entry_count = 0;
  std::vector<CopyListEntry> entries;
};

enum class CopyListStatus {
  kOk,
  kBadHeader,         // the first line does not begin with a number
  kMissingEntries,    // the file ends before the announced entry lines
  kEntryWithoutName,  // an entry line holds nothing but white space
  kReadError,
};

const char* CopyListStatusName(CopyListStatus status);

// Reads the header and the entry lines it announces; anything after them
// is not read. Lines may be of any length. On failure `list.entries` holds
// the entries read so far, so the offending line is entries.size() + 2
// (line 1 for a bad header).
CopyListStatus ParseCopyList(File& file, CopyList& list);

using cd_format::IsCheckOnlyPosition;

// Where the entry's file lies: a ":" name on the copy list's drive ("A" +
// ":\x"), any other on the source (CdSource::PathOf: "D:" + "\x", inside
// the folder, or without a source drive as written). A ":" name without a
// copy-list drive names nothing (the empty path).
std::string SourcePath(const std::string& name, char copy_list_drive,
                       const CdSource& source);
std::string SourcePath(const std::string& name, char copy_list_drive,
                       char source_drive);

// The name the file gets in the destination folder, with its leading
// backslash, to be appended to the folder text: the name's part from its
// last backslash, not counting one in first place ("\prog\main.exe" gives
// "\main.exe"; "\main.exe" and "main.exe" give "\main.exe"). Nothing when
// that part would not name a plain file inside the folder: empty, "." or
// "..", holding "/", ":" or another character Windows refuses, ending in a
// dot or a blank, or a device name such as "nul".
std::optional<std::string> DestinationName(const std::string& name);

}  // namespace orvik
