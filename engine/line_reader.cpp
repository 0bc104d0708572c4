#include "engine/line_reader.h"

#include <algorithm>

namespace orvik {

bool LineReader::Refill() {
  if (at_end_) return false;
  const std::int64_t got = file_.Read(buffer_.data(), buffer_.size());
  if (got <= 0) {
    at_end_ = true;
    failed_ = got == kReadError;
    return false;
  }
  begin_ = 0;
  end_ = static_cast<std::size_t>(got);
  return true;
}

bool LineReader::ReadLine(std::string& line, std::size_t max_bytes) {
  line.clear();
  while (max_bytes == kUnlimited || line.size() < max_bytes) {
    if (begin_ == end_ && !Refill()) break;
    std::size_t take = end_ - begin_;
    if (max_bytes != kUnlimited) take = std::min(take, max_bytes - line.size());
    const char* start = buffer_.data() + begin_;
    const char* newline = std::find(start, start + take, '\n');
    const bool ends_line = newline != start + take;
    if (ends_line) take = static_cast<std::size_t>(newline - start) + 1;
    line.append(start, take);
    begin_ += take;
    if (ends_line) break;
  }
  return !line.empty();
}

}  // namespace orvik
