#include "platform/win32/code_page.h"

namespace orvik {

std::string ConvertCodePage(const std::string& text, UINT from, UINT to) {
  if (text.empty()) return text;
  const int units = ::MultiByteToWideChar(from, 0, text.data(),
                                          static_cast<int>(text.size()), nullptr, 0);
  if (units <= 0) return text;
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()),
                        wide.data(), units);
  const int bytes =
      ::WideCharToMultiByte(to, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return text;
  std::string converted(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(to, 0, wide.data(), units, converted.data(), bytes, nullptr,
                        nullptr);
  return converted;
}

}  // namespace orvik
