#include "tools/cdcheck/cd_access.h"

#include <algorithm>
#include <vector>

#include "engine/line_reader.h"

namespace orvik::cdcheck {

namespace {
constexpr std::size_t kReadBlock = 65536;
}  // namespace

const char* LanguageName(char letter) {
  for (const auto& language : kLanguages)
    if (language.letter == letter) return language.name;
  return "?";
}

std::string Cd::Path(const std::string& name_on_cd) const {
  return std::string(1, drive_) + ":" + name_on_cd;
}

std::unique_ptr<File> Cd::Open(const std::string& name_on_cd) const {
  return files_.OpenForReading(Path(name_on_cd));
}

bool Cd::Exists(const std::string& name_on_cd) const {
  return Open(name_on_cd) != nullptr;
}

namespace {

bool EndsLine(const std::string& piece) { return !piece.empty() && piece.back() == '\n'; }

// The rest of a line longer than kMostKeptLineBytes is read in pieces and
// counted; only its line end joins what is kept.
void CutLine(LineReader& reader, std::string& kept, std::uint64_t& size) {
  std::string tail = kept.substr(kept.size() - 2);
  std::string piece;
  while (reader.ReadLine(piece, kMostKeptLineBytes)) {
    size += piece.size();
    tail += piece;
    tail.erase(0, tail.size() - 2);
    if (EndsLine(piece)) break;
  }
  const std::size_t end = tail == "\r\n" ? 2 : EndsLine(tail) ? 1 : 0;
  kept.resize(kMostKeptLineBytes - end);
  kept += tail.substr(2 - end);
}

}  // namespace

FileLines ReadLines(File& file, std::size_t max_bytes) {
  FileLines result;
  LineReader reader(file);
  const bool whole_lines = max_bytes == LineReader::kUnlimited;
  std::string line;
  while (reader.ReadLine(line, whole_lines ? kMostKeptLineBytes : max_bytes)) {
    std::uint64_t size = line.size();
    if (whole_lines && line.size() == kMostKeptLineBytes && !EndsLine(line))
      CutLine(reader, line, size);
    result.lines.push_back(line);
    result.sizes.push_back(size);
  }
  result.read_error = reader.failed();
  return result;
}

std::int64_t LineCappedFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    const std::int64_t got = file_.Read(buffer, size);
    if (got <= 0) return got;
    std::size_t kept = 0;
    for (std::int64_t i = 0; i < got; ++i) {
      const char c = buffer[i];
      if (c == '\n') in_line_ = 0;
      else if (++in_line_ > kMostKeptLineBytes) continue;
      buffer[kept++] = c;
    }
    if (kept > 0) return static_cast<std::int64_t>(kept);
  }
}

bool ReadBlocks(File& file, const std::function<void(const char*, std::size_t)>& block) {
  std::vector<char> buffer(kReadBlock);
  for (;;) {
    const std::int64_t got = file.Read(buffer.data(), buffer.size());
    if (got == 0) return true;
    if (got < 0) return false;
    block(buffer.data(), static_cast<std::size_t>(got));
  }
}

FileContent ReadContent(File& file, bool keep_bytes) {
  FileContent content;
  content.read_error = !ReadBlocks(file, [&](const char* bytes, std::size_t size) {
    content.size += size;
    if (keep_bytes) content.bytes.append(bytes, size);
  });
  return content;
}

}  // namespace orvik::cdcheck
