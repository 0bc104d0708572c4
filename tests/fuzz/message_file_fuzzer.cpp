// The message file reader over any file a CD can hold, read in pieces of
// any size and cut short by a read error anywhere.
//
// Input: five control bytes, then the file's bytes.
//   0  lines to skip, 0-20
//   1  lines to read, 0-20
//   2  the most bytes one read of the file yields (0: as many as asked)
//   3  the read that fails with an error, from 1 (0: none)
//   4  which candidate exists (none, current folder, the drive's \install\,
//      legacy) and the drive letter (D, d, none)
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "engine/install_message.h"
#include "engine/result_codes.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/reference_models.h"

namespace orvik {
namespace {

class PieceFile : public File {
 public:
  PieceFile(const std::string& bytes, std::size_t most, unsigned failing_read,
            std::string& delivered)
      : bytes_(bytes), most_(most), failing_read_(failing_read),
        delivered_(delivered) {}

  std::int64_t Read(char* buffer, std::size_t size) override {
    ++reads_;
    if (reads_ == failing_read_) return kReadError;
    std::size_t take = std::min(size, bytes_.size() - at_);
    if (most_ != 0) take = std::min(take, most_);
    std::memcpy(buffer, bytes_.data() + at_, take);
    delivered_.append(bytes_, at_, take);
    at_ += take;
    return static_cast<std::int64_t>(take);
  }
  std::size_t Write(const char*, std::size_t) override { return 0; }
  bool Close() override { return true; }

 private:
  const std::string& bytes_;
  std::size_t most_;
  unsigned failing_read_;
  std::string& delivered_;
  std::size_t at_ = 0;
  unsigned reads_ = 0;
};

// One file under one name; every other name is missing.
class OneFileSystem : public FileSystem {
 public:
  OneFileSystem(std::string name, const std::string& bytes, std::size_t most,
                unsigned failing_read)
      : name_(std::move(name)), bytes_(bytes), most_(most),
        failing_read_(failing_read) {}

  std::unique_ptr<File> OpenForReading(const std::string& path) override {
    if (path.empty() || path != name_) return nullptr;
    ++opened_;
    return std::make_unique<PieceFile>(bytes_, most_, failing_read_, delivered_);
  }
  CreateFolderResult CreateFolder(const std::string&) override {
    return CreateFolderResult::kOtherError;
  }
  bool SetCurrentFolder(const std::string&) override { return false; }
  bool RemoveFile(const std::string&) override { return false; }
  char CurrentDriveLetter() override { return 'C'; }

  int opened_ = 0;
  std::string delivered_;

 private:
  std::string name_;
  const std::string& bytes_;
  std::size_t most_;
  unsigned failing_read_;
};

}  // namespace
}  // namespace orvik

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvik;
  if (size < 5) return 0;
  const unsigned skip = data[0] % 21;
  const unsigned count = data[1] % 21;
  const std::size_t most = data[2];
  const unsigned failing_read = data[3];
  const unsigned candidate = data[4] % 4;
  const char drive = "Dd\0"[(data[4] / 4) % 3];
  const std::string bytes(reinterpret_cast<const char*>(data) + 5, size - 5);

  const char* const names[] = {"", "einstall.dat", "D:\\install\\einstall.dat",
                               "D:\\install\\install.dat"};
  std::string name = names[candidate];
  if (drive == 'd' && candidate >= 2) name[0] = 'd';
  const bool reachable = candidate == 1 || (candidate >= 2 && drive != 0);

  OneFileSystem files(name, bytes, most, failing_read);
  g_nProductVersion = 8;
  std::string message = "left over";
  const MessageResult result = LoadInstallMessage(files, drive, 'e', skip, count, message);

  FUZZ_CHECK(result == MessageResult::kFound || result == MessageResult::kNotFound);
  FUZZ_CHECK((result == MessageResult::kFound) == reachable);
  FUZZ_CHECK(files.opened_ == (reachable ? 1 : 0));
  FUZZ_CHECK(g_nProductVersion == (reachable && candidate == 3 ? 7 : 8));
  if (result != MessageResult::kFound) {
    FUZZ_CHECK(message.empty());
    return 0;
  }
  // What was read before an error is all the reader may use.
  FUZZ_CHECK(files.delivered_.size() <= bytes.size());
  FUZZ_CHECK(bytes.compare(0, files.delivered_.size(), files.delivered_) == 0);
  FUZZ_CHECK(message == fuzz::MessageText(files.delivered_, skip, count));
  // The same, as properties that hold whatever the model says.
  FUZZ_CHECK(message.size() <= fuzz::kMessageReadBytes * count);
  FUZZ_CHECK(message.find('\0') == std::string::npos);
  FUZZ_CHECK(fuzz::IsSubsequence(message, bytes));
  if (failing_read == 0)
    FUZZ_CHECK(message == fuzz::MessageText(bytes, skip, count));
  return 0;
}
