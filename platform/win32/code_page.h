// Text from one Windows code page to another, through UTF-16.
#pragma once

#include <windows.h>

#include <string>

namespace orvik {

// The text unchanged when it cannot be converted.
std::string ConvertCodePage(const std::string& text, UINT from, UINT to);

}  // namespace orvik
