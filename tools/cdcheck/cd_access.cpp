#include "tools/cdcheck/cd_access.h"

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

FileLines ReadLines(File& file, std::size_t max_bytes) {
  FileLines result;
  LineReader reader(file);
  std::string line;
  while (reader.ReadLine(line, max_bytes)) result.lines.push_back(line);
  result.read_error = reader.failed();
  return result;
}

FileContent ReadContent(File& file, bool keep_bytes) {
  FileContent content;
  std::string block(kReadBlock, '\0');
  for (;;) {
    const std::int64_t got = file.Read(block.data(), block.size());
    if (got == 0) break;
    if (got < 0) {
      content.read_error = true;
      break;
    }
    content.size += static_cast<std::uint64_t>(got);
    if (keep_bytes) content.bytes.append(block, 0, static_cast<std::size_t>(got));
  }
  return content;
}

}  // namespace orvik::cdcheck
