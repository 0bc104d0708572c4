// The CD checker's ISO reader over any image, and the whole check over
// what it reads.
//
// Input: the image from its first volume descriptor on; the 16 blocks of
// system area before it, which nothing reads, are put in front as zeros.
// Some seeds hold UDF names where others hold Joliet names, so that the
// UDF reader is fuzzed too.
// The image is a memory file, opened by its /proc/self/fd name.
//
// Checked: the image opens or is refused without a crash; every file read
// through it yields at most what the image holds (extents past the volume
// are read errors) and the same bytes on a second read; the check of the
// whole CD ends with findings of known rules. libFuzzer's -malloc_limit_mb
// (run.sh) catches an allocation sized by a record's claim.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_check.h"
#include "tools/cdcheck/cd_access.h"
#include "tools/cdcheck/cd_check.h"
#include "tools/cdcheck/iso_image_file_system.h"
#include "tools/cdcheck/rules.h"

namespace {

constexpr std::size_t kSystemArea = 16 * 2048;

// A file in memory for the length of one input.
class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size)
      : fd_(::memfd_create("iso", 0)) {
    FUZZ_CHECK(fd_ >= 0);
    const std::vector<char> zeros(kSystemArea, 0);
    FUZZ_CHECK(::write(fd_, zeros.data(), zeros.size()) ==
               static_cast<ssize_t>(zeros.size()));
    if (size > 0)
      FUZZ_CHECK(::write(fd_, data, size) == static_cast<ssize_t>(size));
  }
  ~MemoryFile() { ::close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

// The names the check opens, and some that reach into folders the
// fuzzer may have made endless or huge.
const char* const kProbes[] = {
    "D:\\install\\eopylist.dat", "D:\\install\\einstall.dat", "D:\\prog\\startup.mar",
    "D:\\setup.txt",             "D:\\prog\\orvik8.exe",      "D:\\a\\a\\a\\a\\a\\a\\a\\x",
    "D:\\install\\..\\prog\\.\\orvik.dll",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvik;
  using namespace orvik::cdcheck;
  const MemoryFile image(data, size);
  const std::uint64_t image_bytes = kSystemArea + size;
  std::string error;
  const auto files = OpenIsoImage(image.path(), kCdDrive, error);
  if (!files) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  for (const char* probe : kProbes) {
    auto first = files->OpenForReading(probe);
    if (!first) continue;
    const FileContent once = ReadContent(*first, true);
    FUZZ_CHECK(once.size <= image_bytes);
    auto second = files->OpenForReading(probe);
    FUZZ_CHECK(second != nullptr);
    const FileContent again = ReadContent(*second, true);
    FUZZ_CHECK(again.read_error == once.read_error && again.bytes == once.bytes);
  }
  const CheckResult result = CheckCd(*files, kCdDrive);
  for (const auto& diagnostic : result.diagnostics.all())
    FUZZ_CHECK(static_cast<std::size_t>(diagnostic.rule) < kRuleCount);
  FUZZ_CHECK(result.languages.size() == std::size(kLanguages));
  return 0;
}
