// The optional debug log. Absent unless start-up could create the file;
// every writer goes through WriteDebugLog, which does nothing without it.
#pragma once

#include <cstdint>
#include <cstdio>

namespace orvik {

extern std::FILE* g_pDebugLog;

#if defined(__clang__)  // knows no gnu_printf; its printf is the same
#define ORVIK_PRINTF_FORMAT(fmt, first) \
  __attribute__((format(printf, fmt, first)))
#elif defined(__GNUC__)
#define ORVIK_PRINTF_FORMAT(fmt, first) \
  __attribute__((format(gnu_printf, fmt, first)))
#else
#define ORVIK_PRINTF_FORMAT(fmt, first)
#endif

void WriteDebugLog(const char* format, ...) ORVIK_PRINTF_FORMAT(1, 2);

// Owns the debug log of one run: makes `log` (an opened stream, or null
// for no log) the g_pDebugLog that every writer uses, and on destruction
// closes it and clears g_pDebugLog. It writes nothing itself: the run
// writes its first and last lines. One session at a time.
class DebugLogSession {
 public:
  explicit DebugLogSession(std::FILE* log);
  ~DebugLogSession();
  DebugLogSession(const DebugLogSession&) = delete;
  DebugLogSession& operator=(const DebugLogSession&) = delete;

  bool is_open() const { return log_ != nullptr; }

 private:
  std::FILE* log_;
};

// The eight-hex-digit identity that the log prints for a stream: zero
// exactly for an absent stream. A 64-bit address is folded to 32 bits, and
// a fold that comes out as zero is made non-zero so the rule still holds.
std::uint32_t StreamIdentity(const void* stream);

}  // namespace orvik
