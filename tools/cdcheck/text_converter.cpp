#include "tools/cdcheck/text_converter.h"

#include "tools/cdcheck/cp1252.h"
#include "tools/cdcheck/text_format.h"

namespace orvik::cdcheck {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::size_t kByteOrderMarkBytes = sizeof(kByteOrderMark) - 1;
// Errors past this many are counted, not listed.
constexpr std::size_t kErrorsListed = 20;

bool HasByteOrderMark(const std::string& source) {
  return source.compare(0, kByteOrderMarkBytes, kByteOrderMark) == 0;
}

std::string CodePointName(std::uint32_t code_point) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (int shift = code_point > 0xFFFF ? 20 : 12; shift >= 0; shift -= 4)
    hex += kDigits[(code_point >> shift) & 0xF];
  return "U+" + hex;
}

// Walks the source character by character, keeping line and column.
class Converter {
 public:
  Converter(const std::string& source, SourceEncoding encoding, std::size_t start)
      : source_(source), encoding_(encoding), at_(start) {}

  Conversion Run() {
    while (at_ < source_.size()) Step();
    if (column_ > 1) text_ += "\r\n";
    Conversion result;
    result.encoding = encoding_;
    if (errors_.size() > kErrorsListed) {
      const std::size_t more = errors_.size() - kErrorsListed;
      errors_.resize(kErrorsListed);
      errors_.back().message += " (and " + Counted(more, "more error") + ")";
    }
    result.errors = std::move(errors_);
    if (result.errors.empty()) result.text = std::move(text_);
    return result;
  }

 private:
  void Step() {
    const char byte = source_[at_];
    if (byte == '\n') {
      ++at_;
      EndLine();
    } else if (byte == '\r') {
      ++at_;
      if (at_ < source_.size() && source_[at_] == '\n') {
        ++at_;
        EndLine();
      } else {
        Fail("a CR that ends no line: line ends must be LF or CR LF");
        ++column_;
      }
    } else if (encoding_ == SourceEncoding::kUtf8) {
      TakeUtf8();
    } else {
      TakeWindows1252();
    }
  }

  void EndLine() {
    text_ += "\r\n";
    ++line_;
    column_ = 1;
  }

  void TakeUtf8() {
    const std::size_t start = at_;
    const std::uint32_t code_point = NextUtf8CodePoint(source_, at_);
    if (code_point == kReplacementCharacter && at_ == start + 1) {
      Fail("byte " + HexByte(static_cast<unsigned char>(source_[start])) +
           " is not valid UTF-8");
    } else if (const auto converted = Utf8ToCp1252(source_.substr(start, at_ - start))) {
      text_ += *converted;
    } else {
      Fail(CodePointName(code_point) + " (" + source_.substr(start, at_ - start) +
           ") has no character in Windows-1252");
    }
    ++column_;
  }

  void TakeWindows1252() {
    const auto byte = static_cast<unsigned char>(source_[at_++]);
    if (IsUndefinedInCp1252(byte))
      Fail("byte " + HexByte(byte) + " is no character of Windows-1252");
    else
      text_ += static_cast<char>(byte);
    ++column_;
  }

  void Fail(std::string message) { errors_.push_back({line_, column_, std::move(message)}); }

  const std::string& source_;
  const SourceEncoding encoding_;
  std::size_t at_;
  std::size_t line_ = 1;
  std::size_t column_ = 1;
  std::string text_;
  std::vector<ConversionError> errors_;
};

bool HasHighByte(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

}  // namespace

const char* EncodingName(SourceEncoding encoding) {
  return encoding == SourceEncoding::kUtf8 ? "UTF-8" : "Windows-1252";
}

Conversion ConvertToMessageFile(const std::string& source) {
  if (HasByteOrderMark(source))
    return Converter(source, SourceEncoding::kUtf8, kByteOrderMarkBytes).Run();
  const bool utf8 = HasHighByte(source) && LooksLikeUtf8(source);
  return Converter(source, utf8 ? SourceEncoding::kUtf8 : SourceEncoding::kWindows1252, 0)
      .Run();
}

}  // namespace orvik::cdcheck
