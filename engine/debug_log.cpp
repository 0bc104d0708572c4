#include "engine/debug_log.h"

#include <cstdarg>

namespace orvik {

std::FILE* g_pDebugLog = nullptr;

void WriteDebugLog(const char* format, ...) {
  if (g_pDebugLog == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(g_pDebugLog, format, args);
  va_end(args);
}

DebugLogSession::DebugLogSession(std::FILE* log) : log_(log) {
  g_pDebugLog = log_;
}

DebugLogSession::~DebugLogSession() {
  g_pDebugLog = nullptr;
  if (log_ != nullptr) std::fclose(log_);
}

std::uint32_t StreamIdentity(const void* stream) {
  if (stream == nullptr) return 0;
  const auto address = reinterpret_cast<std::uintptr_t>(stream);
  std::uint64_t wide = address;
  auto folded = static_cast<std::uint32_t>(wide ^ (wide >> 32));
  return folded != 0 ? folded : 1u;
}

}  // namespace orvik
