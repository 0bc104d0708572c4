#include "app/receipt.h"

#include <cstdlib>

#include "engine/copy_list.h"
#include "engine/sha256.h"

namespace orvik {

namespace {

constexpr char kSection[] = "[Orvik]";
constexpr char kFilesSection[] = "[Files]";
constexpr std::size_t kDigestLength = 64;
constexpr std::size_t kReadChunk = 16384;

// One name directly in the folder, as the copy list's destinations are.
bool IsNameInFolder(const std::string& name) {
  if (name.find_first_of("\\/") != std::string::npos) return false;
  const auto checked = DestinationName(name);
  return checked && *checked == "\\" + name;
}

bool IsDigest(const std::string& text) {
  return text.size() == kDigestLength &&
         text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::optional<std::uint64_t> Number(const std::string& text) {
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::strtoull(text.c_str(), nullptr, 10);
}

// "orvik8.exe=1234,<sha256>"
std::optional<ReceiptFile> FileLine(const std::string& line) {
  const auto equals = line.find('=');
  const auto comma = line.find(',', equals == std::string::npos ? 0 : equals);
  if (equals == std::string::npos || comma == std::string::npos) return std::nullopt;
  ReceiptFile file;
  file.name = line.substr(0, equals);
  const auto size = Number(line.substr(equals + 1, comma - equals - 1));
  file.sha256 = line.substr(comma + 1);
  if (!IsNameInFolder(file.name) || !size || !IsDigest(file.sha256)) return std::nullopt;
  file.size = *size;
  return file;
}

}  // namespace

std::string FormatReceipt(const Receipt& receipt) {
  std::string text = std::string(kSection) + "\n" +
                     "ProductVersion=" + std::to_string(receipt.version) + ".0\n" +
                     "Language=" + std::string(1, receipt.language) + "\n" +
                     "Destination=" + receipt.destination + "\n" +
                     "Source=" + receipt.source + "\n" +
                     "Files=" + std::to_string(receipt.files.size()) + "\n" +
                     "InstalledUtc=" + receipt.installed_utc + "\n" +
                     "Shortcut=" + receipt.shortcut + "\n";
  if (!receipt.receipt_copy.empty()) text += "ReceiptCopy=" + receipt.receipt_copy + "\n";
  text += std::string("\n") + kFilesSection + "\n";
  for (const ReceiptFile& file : receipt.files)
    text += file.name + "=" + std::to_string(file.size) + "," + file.sha256 + "\n";
  return text;
}

std::optional<Receipt> ParseReceipt(const std::string& text) {
  Receipt receipt;
  bool in_files = false;
  bool seen_section = false;
  std::optional<std::uint64_t> count;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line == kSection) {
      seen_section = true;
      continue;
    }
    if (line == kFilesSection) {
      in_files = true;
      continue;
    }
    if (in_files) {
      auto file = FileLine(line);
      if (!file) return std::nullopt;
      receipt.files.push_back(std::move(*file));
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string::npos) return std::nullopt;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (key == "ProductVersion") receipt.version = std::atoi(value.c_str());
    else if (key == "Language" && value.size() == 1) receipt.language = value[0];
    else if (key == "Destination") receipt.destination = value;
    else if (key == "Source") receipt.source = value;
    else if (key == "Files") count = Number(value);
    else if (key == "InstalledUtc") receipt.installed_utc = value;
    else if (key == "Shortcut") receipt.shortcut = value;
    else if (key == "ReceiptCopy") receipt.receipt_copy = value;
  }
  if (!seen_section || receipt.version == 0 || receipt.destination.empty() || !count ||
      *count != receipt.files.size())
    return std::nullopt;
  return receipt;
}

std::optional<std::string> ReadSmallFile(FileSystem& files, const std::string& path,
                                         std::size_t limit) {
  auto file = files.OpenForReading(path);
  if (!file) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (;;) {
    const std::int64_t got = file->Read(buffer, sizeof buffer);
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.size() > limit) return std::nullopt;
  }
  return text;
}

std::optional<Receipt> ReadReceipt(FileSystem& files, const std::string& path) {
  const auto text = ReadSmallFile(files, path, kReceiptLimit);
  if (!text) return std::nullopt;
  return ParseReceipt(*text);
}

std::optional<ReceiptFile> DigestOf(FileSystem& files, const std::string& folder,
                                    const std::string& name) {
  auto file = files.OpenForReading(folder + "\\" + name);
  if (!file) return std::nullopt;
  char buffer[kReadChunk];
  Sha256 digest;
  ReceiptFile result;
  result.name = name;
  for (;;) {
    const std::int64_t got = file->Read(buffer, kReadChunk);
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    digest.Add(buffer, static_cast<std::size_t>(got));
    result.size += static_cast<std::uint64_t>(got);
  }
  result.sha256 = digest.HexDigest();
  return result;
}

}  // namespace orvik
