// orvik-cdcheck on Linux: the CD folder becomes drive D, as under Wine; an
// ISO image is read in place.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "tools/cdcheck/cli.h"
#include "tools/cdcheck/posix_cd.h"

namespace {

void Write(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    orvik::cdcheck::ToolOutput output;
    const int status =
        orvik::cdcheck::RunCdCheckTool(args, orvik::cdcheck::OpenCdOnPosix, output,
                                       orvik::cdcheck::PosixHostFiles());
    Write(stdout, output.out);
    Write(stderr, output.err);
    return status;
  } catch (const std::bad_alloc&) {
    std::fputs(orvik::cdcheck::kOutOfMemoryMessage, stderr);
    return orvik::cdcheck::kExitOutOfMemory;
  }
}
