#include "tools/cdcheck/text_format.h"

namespace orvik::cdcheck {

std::string LineRange(std::size_t first, std::size_t last) {
  if (first == last) return "line " + std::to_string(first);
  const char* joint = last == first + 1 ? " and " : " to ";
  return "lines " + std::to_string(first) + joint + std::to_string(last);
}

std::string JoinWithAnd(const std::vector<std::string>& items) {
  std::string joined;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) joined += i + 1 == items.size() ? " and " : ", ";
    joined += items[i];
  }
  return joined;
}

std::string Counted(std::uint64_t count, const char* singular, const char* plural) {
  if (count == 1) return "1 " + std::string(singular);
  return std::to_string(count) + " " +
         (plural != nullptr ? std::string(plural) : std::string(singular) + "s");
}

std::string HexByte(unsigned char byte) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[byte >> 4] + kDigits[byte & 0x0F];
}

}  // namespace orvik::cdcheck
