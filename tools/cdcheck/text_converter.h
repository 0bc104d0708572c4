// The author's text made into a message file: Windows-1252 with CR LF line
// ends, from UTF-8 (with or without a byte-order mark) or Windows-1252 with
// LF or CR LF line ends.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvik::cdcheck {

enum class SourceEncoding { kUtf8, kWindows1252 };

struct ConversionError {
  std::size_t line = 0;    // from 1
  std::size_t column = 0;  // character in the line, from 1
  std::string message;
};

struct Conversion {
  SourceEncoding encoding = SourceEncoding::kWindows1252;
  std::string text;  // Windows-1252, CR LF; only when there are no errors
  std::vector<ConversionError> errors;
  bool ok() const { return errors.empty(); }
};

// A source with a byte-order mark, or one whose bytes above 127 all form
// valid UTF-8, is UTF-8; any other is Windows-1252 (a text in Windows-1252
// whose high bytes happen to form UTF-8 needs unlikely pairs such as "Ã¤").
// Pure ASCII reads the same either way. Every line, the last one included,
// ends in CR LF in the result; a line end already CR LF stays one CR LF.
Conversion ConvertToMessageFile(const std::string& source);

const char* EncodingName(SourceEncoding encoding);

}  // namespace orvik::cdcheck
