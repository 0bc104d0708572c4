// The receipt an installation leaves in its folder: what deployment tools
// detect it by, and what the removal reads to take away exactly what the
// installation put there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/file_system.h"

namespace orvik {

// Its name in the destination folder.
inline constexpr char kReceiptName[] = "orvik-receipt.txt";
// The copy of orvik-install.exe that the registration's uninstall command runs.
inline constexpr char kUninstallerName[] = "orvik-uninstall.exe";
// The receipt of the installation before the current run's: kept while an
// upgrade runs and after it failed, which leaves that installation as it was.
inline constexpr char kEarlierReceiptName[] = "orvik-receipt.earlier";
// A receipt lists a few dozen files; anything much larger is not one.
inline constexpr std::size_t kReceiptLimit = 1 << 20;

struct ReceiptFile {
  std::string name;  // in the destination folder
  std::uint64_t size = 0;
  std::string sha256;
};

struct Receipt {
  int version = 0;  // the product's major version, 8 or 7
  char language = 0;
  std::string destination;
  std::string source;
  std::string installed_utc;
  std::string shortcut;      // the link's path; empty without one
  std::string receipt_copy;  // --receipt's file, when it is not the folder's own
  std::vector<ReceiptFile> files;
};

std::string FormatReceipt(const Receipt& receipt);
// Nothing when the text is not a receipt: a missing line, a file name that
// would leave the folder, a size or digest that is not one.
std::optional<Receipt> ParseReceipt(const std::string& text);

// The receipt at `path`; nothing when it is missing or not a receipt.
std::optional<Receipt> ReadReceipt(FileSystem& files, const std::string& path);

// Reads a whole small file (at most `limit` bytes); nothing when it cannot
// be read or is larger.
std::optional<std::string> ReadSmallFile(FileSystem& files, const std::string& path,
                                         std::size_t limit);

// The size and SHA-256 of a file as it is now; nothing when it cannot be read.
std::optional<ReceiptFile> DigestOf(FileSystem& files, const std::string& folder,
                                    const std::string& name);

}  // namespace orvik
