// A small CD installed over and over, each time with one call of one file
// operation failing: every call of every operation in turn. Each run must
// end with the result and text prescribed for that failure, write nothing
// outside the destination folder, and not crash (the suite also runs under
// ASan and UBSan).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>

#include "engine/copy_engine.h"
#include "engine/result_codes.h"
#include "unit/faulty_file_system.h"
#include "unit/test_support.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using testing::Call;
using testing::FaultyFileSystem;
using testing::Operation;
using testing::ReadFault;
using testing::TempFolder;

// Relative path to "<folder>" or the file's bytes.
using Listing = std::map<std::string, std::string>;

std::string HostFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Listing ListFolder(const std::string& root) {
  Listing listing;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    listing[relative] =
        entry.is_directory() ? "<folder>" : HostFile(entry.path());
  }
  return listing;
}

// The listing without the destination folder and what it holds.
Listing OutsideDestination(Listing listing) {
  for (auto it = listing.begin(); it != listing.end();) {
    const bool inside = it->first == "orvik8" || it->first.rfind("orvik8/", 0) == 0;
    it = inside ? listing.erase(it) : std::next(it);
  }
  return listing;
}

Listing InsideDestination(const Listing& listing) {
  Listing inside;
  for (const auto& [path, bytes] : listing)
    if (path.rfind("orvik8/", 0) == 0) inside[path.substr(7)] = bytes;
  return inside;
}

std::string Lines(unsigned first, unsigned count) {
  std::string text;
  for (unsigned n = first; n < first + count; ++n)
    text += "line " + std::to_string(n) + "\n";
  return text;
}

std::string WriteFailureText(const std::string& dest_path) {
  return "INSTALL FAILURE: Couldn't copy " + dest_path + "\n"
         "Contact Ostmarrow at +49 30 5557 2418,\n"
         "or at support@ostmarrow.example,  including this message.\n";
}

struct Outcome {
  int result;
  std::string message;
};

const Outcome kSuccess{kResultOk, Lines(13, 1)};
const char kCopyListPath[] = "D:\\install\\eopylist.dat";
const char kDestination[] = "C:\\orvik8";

enum class Destination {
  kAbsent,
  // Holds the user's factory.mar and the two stale data files.
  kPopulated,
};

// One run of the sweep: the operation, which of its calls fails, and how.
struct Fault {
  Operation op;
  std::size_t nth = 0;
  ReadFault read = ReadFault::kError;
  CreateFolderResult create_folder = CreateFolderResult::kNoSuchPath;
  std::size_t allocation_limit = static_cast<std::size_t>(-1);
};

std::string Describe(const Fault& fault) {
  std::string text = std::string(testing::OperationName(fault.op)) + " #" +
                     std::to_string(fault.nth);
  if (fault.op == Operation::kRead)
    text += fault.read == ReadFault::kShort ? " (short)" : " (error)";
  if (fault.op == Operation::kCreateFolder)
    text += fault.create_folder == CreateFolderResult::kNoSuchPath
                ? " (no such path)" : " (other error)";
  if (fault.op == Operation::kAllocate)
    text = "allocations above " + std::to_string(fault.allocation_limit);
  return text;
}

class FaultInjection : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetGlobalState();
    std::string messages;
    for (unsigned n = 0; n < 16; ++n) messages += "line " + std::to_string(n) + "\n";
    cd_.WriteFile("install/einstall.dat", messages);
    cd_.WriteFile("install/eopylist.dat",
                  "9 0\r\n\\setup.txt\r\n\\data\\volume.id\r\n"
                  "\\install\\einstall.dat\r\n\\install\\eopylist.dat\r\n"
                  "\\prog\\main.exe\r\n\\prog\\startup.mar\r\n"
                  "\\data\\check.dat\r\n$\\prog\\factory.mar\r\n"
                  "\\data\\small.dat\r\n");
    cd_.WriteFile("setup.txt", "readme\r\n");
    cd_.WriteFile("data/volume.id", "ORVIK8");
    cd_.WriteFile("data/check.dat", "check");
    std::string program(40000, '\0');
    for (std::size_t i = 0; i < program.size(); ++i)
      program[i] = static_cast<char>(i * 31 % 251);
    cd_.WriteFile("prog/main.exe", program);
    cd_.WriteFile("prog/startup.mar", "10 size\r\n51 language x\r\n");
    cd_.WriteFile("prog/factory.mar", "51 language x\r\n");
    cd_.WriteFile("data/small.dat", std::string("\r\n\0\x1A", 4));
    cd_listing_ = ListFolder(cd_.path());
  }
  void TearDown() override { testing::ResetGlobalState(); }

  struct Run {
    int result = 0;
    std::string message;
    std::vector<Call> calls;
    Listing disk;
    std::string current_folder;
  };

  // One install on a fresh drive C, checking that nothing outside the
  // destination folder changed.
  Run Install(Destination destination, const Fault* fault) {
    testing::ResetGlobalState();
    TempFolder disk;
    if (destination == Destination::kPopulated) {
      disk.WriteFile("orvik8/factory.mar", "the user's settings");
      disk.WriteFile("orvik8/astdata.ast", "stale");
      disk.WriteFile("orvik8/astdata.lim", "stale");
    }
    const Listing before = OutsideDestination(ListFolder(disk.path()));
    PosixFileSystem files;
    files.MapDrive('C', disk.path());
    files.MapDrive('D', cd_.path());
    files.SetCurrentDrive('C');
    FaultyFileSystem faulty(files);
    if (fault != nullptr) Arm(faulty, *fault);

    Run run;
    run.result = CopyInstallFiles(faulty, 0, 'D', 'e', kDestination, run.message);
    run.calls = faulty.calls();
    run.disk = ListFolder(disk.path());
    run.current_folder = files.CurrentFolder();
    EXPECT_EQ(before, OutsideDestination(run.disk)) << "written outside";
    EXPECT_EQ(cd_listing_, ListFolder(cd_.path())) << "the CD changed";
    if (fault != nullptr && fault->op != Operation::kAllocate) {
      EXPECT_TRUE(faulty.fault_fired());
    }
    return run;
  }

  static void Arm(FaultyFileSystem& faulty, const Fault& fault) {
    if (fault.op == Operation::kAllocate) {
      faulty.LimitAllocation(fault.allocation_limit);
      return;
    }
    faulty.FailCall(fault.op, fault.nth);
    faulty.SetReadFault(fault.read);
    faulty.SetCreateFolderFault(fault.create_folder);
  }

  // The failed call as it went in the clean run, and where it stood.
  struct Seen {
    Call call;
    bool after_copying;  // made after the change of folder
  };

  static Seen FindCall(const Run& clean, const Fault& fault) {
    std::size_t nth = 0;
    bool after_copying = false;
    for (const auto& call : clean.calls) {
      after_copying |= call.op == Operation::kSetCurrentFolder;
      if (call.op == fault.op && ++nth == fault.nth) return {call, after_copying};
    }
    ADD_FAILURE() << "no such call";
    return {Call{fault.op, ""}, false};
  }

  // What the run must end with when `fault` strikes.
  static Outcome Expected(const Run& clean, const Fault& fault,
                          Destination destination) {
    if (fault.op == Operation::kAllocate) {
      if (fault.allocation_limit > 0) return kSuccess;
      return {kInstallOutOfMemory,
              "INSTALL FAILURE: Not enough memory to copy the files.\n"
              "Contact Ostmarrow at +49 30 5557 2418,\n"
              "or at support@ostmarrow.example,  including this message.\n"};
    }
    const Seen seen = FindCall(clean, fault);
    const Call& call = seen.call;
    const Outcome file_failed{kInstallSourceFileFailed, Lines(9, 3)};
    const Outcome list_failed{kInstallCopyListFailed, Lines(6, 2)};
    switch (fault.op) {
      case Operation::kOpenForReading:
        if (!call.succeeded) return kSuccess;  // it failed anyway
        if (seen.after_copying) return {kResultOk, ""};  // the message file
        if (fault.nth == 1) return list_failed;
        if (call.path.rfind("C:", 0) == 0) return kSuccess;  // taken as absent
        return file_failed;
      case Operation::kOpenForWriting:
        return {kInstallDestFileFailed, Lines(9, 3)};
      case Operation::kRead:
        if (fault.read == ReadFault::kShort) return kSuccess;
        if (seen.after_copying)
          return call.call_on_file == 0 ? Outcome{kResultOk, ""} : kSuccess;
        if (call.path == kCopyListPath) return list_failed;
        return file_failed;
      case Operation::kWrite:
        return {kInstallWriteFailed, WriteFailureText(call.path)};
      case Operation::kClose:
        if (call.on_written_file)
          return {kInstallWriteFailed, WriteFailureText(call.path)};
        return kSuccess;
      case Operation::kCreateFolder:
        if (fault.create_folder == CreateFolderResult::kNoSuchPath)
          return {kInstallDestFolderFailed, Lines(4, 2)};
        if (destination == Destination::kAbsent)
          return {kInstallDestFileFailed, Lines(9, 3)};
        return kSuccess;
      case Operation::kSetCurrentFolder:
      case Operation::kRemoveFile:
      case Operation::kAllocate:
        return kSuccess;
    }
    return kSuccess;
  }

  // The destination after a successful run: as in the clean run, except
  // where the fault keeps a file from going or from being kept.
  static Listing ExpectedDestination(const Run& clean, const Run& absent_clean,
                                     const Fault& fault,
                                     Destination destination) {
    Listing expected = InsideDestination(clean.disk);
    if (destination != Destination::kPopulated) return expected;
    if (fault.op == Operation::kRemoveFile) {
      const Seen seen = FindCall(clean, fault);
      expected[seen.call.path] = "stale";
    }
    if (fault.op == Operation::kOpenForReading &&
        FindCall(clean, fault).call.path == "C:\\orvik8\\factory.mar")
      expected["factory.mar"] = InsideDestination(absent_clean.disk)["factory.mar"];
    return expected;
  }

  std::vector<Fault> AllFaults(const Run& clean) {
    std::vector<Fault> faults;
    for (Operation op : {Operation::kOpenForReading, Operation::kOpenForWriting,
                         Operation::kRead, Operation::kWrite, Operation::kClose,
                         Operation::kCreateFolder, Operation::kSetCurrentFolder,
                         Operation::kRemoveFile}) {
      std::size_t count = 0;
      for (const auto& call : clean.calls) count += call.op == op;
      for (std::size_t nth = 1; nth <= count; ++nth) {
        Fault fault{op, nth};
        faults.push_back(fault);
        if (op == Operation::kRead) {
          fault.read = ReadFault::kShort;
          faults.push_back(fault);
        }
        if (op == Operation::kCreateFolder) {
          fault.create_folder = CreateFolderResult::kOtherError;
          faults.push_back(fault);
        }
      }
    }
    for (std::size_t limit = kLargestCopyChunk;; limit /= 2) {
      Fault fault{Operation::kAllocate};
      fault.allocation_limit = limit;
      faults.push_back(fault);
      if (limit == 0) break;
    }
    return faults;
  }

  void Sweep(Destination destination) {
    const Run absent_clean = Install(Destination::kAbsent, nullptr);
    const Run clean = Install(destination, nullptr);
    ASSERT_EQ(kResultOk, clean.result);
    ASSERT_EQ(kSuccess.message, clean.message);

    const std::vector<Fault> faults = AllFaults(clean);
    for (const Fault& fault : faults) {
      SCOPED_TRACE(Describe(fault));
      const Run run = Install(destination, &fault);
      const Outcome expected = Expected(clean, fault, destination);
      EXPECT_STREQ(InstallResultName(expected.result), InstallResultName(run.result));
      EXPECT_EQ(expected.message, run.message);
      if (run.result == kResultOk) {
        EXPECT_EQ(ExpectedDestination(clean, absent_clean, fault, destination),
                  InsideDestination(run.disk));
      } else {
        EXPECT_EQ("C:\\", run.current_folder) << "nothing after a failure";
      }
    }
    std::cout << "[ fault runs ] " << faults.size() << " with the destination "
              << (destination == Destination::kAbsent ? "absent" : "populated")
              << "\n";
  }

  TempFolder cd_;
  Listing cd_listing_;
};

TEST_F(FaultInjection, EveryCallFailsInTurnWithoutDestination) {
  Sweep(Destination::kAbsent);
}

TEST_F(FaultInjection, EveryCallFailsInTurnOverAnEarlierInstallation) {
  Sweep(Destination::kPopulated);
}

TEST_F(FaultInjection, CleanRunCopiesAndPatches) {
  const Run run = Install(Destination::kPopulated, nullptr);
  const Listing inside = InsideDestination(run.disk);
  EXPECT_EQ((Listing{{"main.exe", cd_listing_.at("prog/main.exe")},
                     {"startup.mar", "10 size\r\n51 language e\r\n18 cd drive D\n"},
                     {"factory.mar", "the user's settings"},
                     {"small.dat", cd_listing_.at("data/small.dat")}}),
            inside);
}

}  // namespace
}  // namespace orvik
