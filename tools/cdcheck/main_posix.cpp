// orvik-cdcheck on Linux: the CD folder becomes drive D, as under Wine.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/posix/posix_file_system.h"
#include "tools/cdcheck/cd_check.h"
#include "tools/cdcheck/cli.h"

namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// No current drive: relative paths, Setup's first message-file lookup
// among them, name nothing.
std::unique_ptr<orvik::FileSystem> OpenCd(const std::string& folder) {
  if (!IsFolder(folder)) return nullptr;
  auto files = std::make_unique<orvik::PosixFileSystem>();
  files->MapDrive(orvik::cdcheck::kCdDrive, folder);
  return files;
}

void Write(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  orvik::cdcheck::ToolOutput output;
  const int status = orvik::cdcheck::RunCdCheckTool(args, OpenCd, output);
  Write(stdout, output.out);
  Write(stderr, output.err);
  return status;
}
