// Memory that runs out during an installation: every allocation of a whole
// installation fails in turn, and a copy list of no end is read under a
// memory budget. The installation must end with a result and its text,
// never with the end of the program. This executable replaces the global
// operator new to fail on demand, so it stands apart from the unit tests.
#include <malloc.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <new>

#include "engine/copy_engine.h"
#include "engine/install_message.h"
#include "engine/result_codes.h"
#include "tests/unit/fake_unattended_host.h"
#include "tests/unit/test_support.h"

namespace {

// Inert until armed: then the allocation numbered `fail_at` (from 1), or
// any that takes the live bytes past `budget`, throws.
std::atomic<bool> g_armed{false};
std::size_t g_count = 0;
std::size_t g_fail_at = 0;
std::size_t g_budget = 0;
std::size_t g_live = 0;

void* Allocate(std::size_t size) {
  if (g_armed) {
    ++g_count;
    if (g_count == g_fail_at || (g_budget != 0 && g_live + size > g_budget))
      throw std::bad_alloc();
  }
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) throw std::bad_alloc();
  if (g_armed) g_live += malloc_usable_size(block);
  return block;
}

void Free(void* block) noexcept {
  if (block == nullptr) return;
  if (g_armed) {
    const std::size_t size = malloc_usable_size(block);
    g_live = g_live > size ? g_live - size : 0;
  }
  std::free(block);
}

// Arms the hook for one scope.
class Armed {
 public:
  Armed(std::size_t fail_at, std::size_t budget) {
    g_count = 0;
    g_live = 0;
    g_fail_at = fail_at;
    g_budget = budget;
    g_armed = true;
  }
  ~Armed() { g_armed = false; }
  Armed(const Armed&) = delete;
  Armed& operator=(const Armed&) = delete;
  static std::size_t count() { return g_count; }
};

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }

namespace orvik {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

const char kOutOfMemoryText[] =
    "INSTALL FAILURE: Not enough memory to copy the files.\n"
    "Contact Ostmarrow at +49 30 5557 2418,\n"
    "or at support@ostmarrow.example,  including this message.\n";

// A copy list that never ends: a header announcing more entries than any
// memory holds, then one short entry line after another.
class EndlessCopyList : public File {
 public:
  std::int64_t Read(char* buffer, std::size_t size) override {
    static const std::string kEntry = "\\setup.txt\r\n";
    std::size_t put = 0;
    if (!header_sent_) {
      const std::string header = "9223372036854775807 0\r\n";
      put = std::min(size, header.size());
      std::memcpy(buffer, header.data(), put);
      header_sent_ = true;
    }
    for (; put < size; ++put, ++at_) buffer[put] = kEntry[at_ % kEntry.size()];
    return static_cast<std::int64_t>(put);
  }
  std::size_t Write(const char*, std::size_t) override { return 0; }
  bool Close() override { return true; }

 private:
  bool header_sent_ = false;
  std::size_t at_ = 0;
};

class EndlessListDrive : public PosixFileSystem {
 public:
  std::unique_ptr<File> OpenForReading(const std::string& path) override {
    if (path == "D:\\install\\eopylist.dat") return std::make_unique<EndlessCopyList>();
    return PosixFileSystem::OpenForReading(path);
  }
};

class AllocationFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetGlobalState();
    fs::copy(ORVIK_SAMPLE_CD, cd_.path(), fs::copy_options::recursive);
    success_ = Lines(13, 1);
  }
  void TearDown() override { testing::ResetGlobalState(); }

  std::string Lines(unsigned first, unsigned count) {
    PosixFileSystem files;
    files.MapDrive('D', cd_.path());
    std::string text;
    LoadInstallMessage(files, 'D', 'e', first, count, text);
    return text;
  }

  TempFolder cd_;
  std::string success_;
};

TEST_F(AllocationFailure, EveryAllocationOfAnInstallationFailsInTurn) {
  std::size_t total = 0;
  for (std::size_t nth = 0;; ++nth) {
    SCOPED_TRACE("allocation #" + std::to_string(nth) + " fails");
    testing::ResetGlobalState();
    TempFolder drive_c;
    drive_c.WriteFile("keep.txt", "the user's");
    PosixFileSystem files;
    files.MapDrive('C', drive_c.path());
    files.MapDrive('D', cd_.path());
    files.SetCurrentDrive('C');
    std::string message;
    InstallResult result;
    {
      Armed armed(nth, 0);
      result = CopyInstallFiles(files, 0, 'D', 'e', "C:\\orvik8", message);
      if (nth == 0) total = Armed::count();
    }
    // A request the engine may refuse (the work buffer, which it then
    // halves) or one the program cannot go on without.
    if (result == InstallResult::kOk) {
      EXPECT_EQ(success_, message);
    } else {
      EXPECT_EQ(InstallResult::kOutOfMemory, result);
      EXPECT_EQ(kOutOfMemoryText, message);
    }
    EXPECT_EQ("the user's", drive_c.ReadFile("keep.txt"));
    if (nth == total) break;
  }
  std::cout << "[ allocations ] " << total << " in one installation, each failed once\n";
  EXPECT_GT(total, 50u);
}

// orvik-install's whole run, the log and the receipt included: any failed
// allocation ends it with 8, never with an exception out of main.
TEST_F(AllocationFailure, EveryAllocationOfAnUnattendedRunFailsInTurn) {
  std::size_t total = 0;
  for (std::size_t nth = 0;; ++nth) {
    SCOPED_TRACE("allocation #" + std::to_string(nth) + " fails");
    testing::ResetGlobalState();
    testing::UnattendedHostFake host;
    host.account = Account::kSystem;
    UnattendedOptions options;
    options.log_file = "C:\\install.log";
    options.receipt_file = "C:\\receipt.txt";
    options.dest_folder = "C:\\Vendor\\Orvik";
    int status;
    {
      Armed armed(nth, 0);
      status = RunUnattended(options, host);
      if (nth == 0) total = Armed::count();
    }
    if (status != kExitSuccess) {
      EXPECT_EQ(kExitOutOfMemory, status);
      EXPECT_FALSE(host.drive_c.Exists("Vendor/Orvik/orvik-receipt.txt"))
          << "a receipt after a failure";
    }
    if (nth == total) break;
  }
  std::cout << "[ allocations ] " << total << " in one unattended run, each failed once\n";
  EXPECT_GT(total, 100u);
}

TEST_F(AllocationFailure, CopyListWithoutEndRunsOutOfMemoryWithoutEndingTheProgram) {
  TempFolder drive_c;
  EndlessListDrive files;
  files.MapDrive('C', drive_c.path());
  files.MapDrive('D', cd_.path());
  files.SetCurrentDrive('C');
  std::string message;
  InstallResult result;
  {
    Armed armed(0, 64u << 20);
    result = CopyInstallFiles(files, 0, 'D', 'e', "C:\\orvik8", message);
  }
  EXPECT_EQ(InstallResult::kOutOfMemory, result);
  EXPECT_EQ(kOutOfMemoryText, message);
  EXPECT_TRUE(fs::is_empty(drive_c.path() + "/orvik8")) << "copied from a list never read whole";
}

}  // namespace
}  // namespace orvik
