// A copy of the sample CD installed over and over, each time with one call
// of one file operation failing, in each way it can fail, for every call
// the clean installation makes. What each run must end with comes from a
// table: the operation, the role of the file it works on, and the outcome
// the format prescribes for that failure. Every run must also leave the CD
// and everything outside the destination folder as they were, no
// temporary file, and in the folder only whole copies or what was there
// before. The suite also runs under ASan and UBSan.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>

#include "engine/cd_format.h"
#include "engine/copy_engine.h"
#include "engine/install_message.h"
#include "engine/result_codes.h"
#include "tests/unit/faulty_file_system.h"
#include "tests/unit/test_support.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using testing::Call;
using testing::FaultyFileSystem;
using testing::Operation;
using testing::ReadFault;
using testing::TempFolder;
using testing::WriteFault;

// Relative path to "<folder>" or the file's bytes.
using Listing = std::map<std::string, std::string>;

Listing ListFolder(const std::string& root, const std::string& skip = "") {
  Listing listing;
  for (auto it = fs::recursive_directory_iterator(root);
       it != fs::recursive_directory_iterator(); ++it) {
    const std::string relative = fs::relative(it->path(), root).string();
    if (relative == skip) {
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_directory()) {
      listing[relative] = "<folder>";
    } else {
      std::ifstream in(it->path(), std::ios::binary);
      listing[relative] = std::string(std::istreambuf_iterator<char>(in), {});
    }
  }
  return listing;
}

constexpr char kCopyListPath[] = "D:\\install\\eopylist.dat";
constexpr char kDestination[] = "c:\\orvik8";

enum class Destination {
  kAbsent,
  // An earlier installation: an older program, the user's factory.mar and
  // the stale data files.
  kPopulated,
};

// What the file a call works on is to the installation.
enum class Role {
  kCopyList,
  kSource,       // a file the list names, on the CD
  kMessageFile,  // looked up for the success text
  kTemporary,    // a copy being written
  kDestination,  // the name a finished copy is moved to
  kFolder,       // the destination folder
  kStaleData,    // a data file removed after the copies
};

// How a run ends.
enum class Ending {
  kSuccess,      // result 0, the success line
  kNoText,       // result 0, but the success line could not be read
  kFolderFailed,  // -1, lines 4-5
  kListFailed,    // -2, lines 6-7
  kSourceFailed,  // -3, lines 9-11
  kDestFailed,    // -4, lines 9-11
  kWriteFailed,   // -5, the write-failure text naming the destination
};

// The format's outcome for each failing operation on each role.
struct Rule {
  Operation op;
  Role role;
  Ending ending;
};
constexpr Rule kRules[] = {
    {Operation::kOpenForReading, Role::kCopyList, Ending::kListFailed},
    {Operation::kOpenForReading, Role::kSource, Ending::kSourceFailed},
    {Operation::kOpenForReading, Role::kMessageFile, Ending::kNoText},
    {Operation::kRead, Role::kCopyList, Ending::kListFailed},
    {Operation::kRead, Role::kSource, Ending::kSourceFailed},
    {Operation::kRead, Role::kMessageFile, Ending::kNoText},
    {Operation::kClose, Role::kCopyList, Ending::kSuccess},
    {Operation::kClose, Role::kSource, Ending::kSuccess},
    {Operation::kClose, Role::kMessageFile, Ending::kSuccess},
    {Operation::kCreateExclusive, Role::kTemporary, Ending::kDestFailed},
    {Operation::kWrite, Role::kTemporary, Ending::kWriteFailed},
    {Operation::kFlush, Role::kTemporary, Ending::kWriteFailed},
    {Operation::kClose, Role::kTemporary, Ending::kWriteFailed},
    {Operation::kMoveReplacing, Role::kDestination, Ending::kDestFailed},
    {Operation::kSetCurrentFolder, Role::kFolder, Ending::kSuccess},
    {Operation::kRemoveFile, Role::kStaleData, Ending::kSuccess},
};

struct Fault {
  Operation op = Operation::kRead;
  std::size_t nth = 0;
  ReadFault read = ReadFault::kError;
  WriteFault write = WriteFault::kShort;
  CreateFolderResult create_folder = CreateFolderResult::kNoSuchPath;
  std::size_t allocation_limit = 0;
};

std::string Describe(const Fault& fault) {
  if (fault.op == Operation::kAllocate)
    return "work buffers above " + std::to_string(fault.allocation_limit) + " bytes refused";
  std::string text = std::string(testing::OperationName(fault.op)) + " #" +
                     std::to_string(fault.nth);
  if (fault.op == Operation::kRead)
    text += fault.read == ReadFault::kShort ? " short" : " error";
  if (fault.op == Operation::kWrite)
    text += fault.write == WriteFault::kShort ? " short" : " nothing written";
  if (fault.op == Operation::kCreateFolder)
    text += fault.create_folder == CreateFolderResult::kNoSuchPath ? " no such path"
                                                                   : " other error";
  return text;
}

struct Outcome {
  InstallResult result;
  std::string text;
};

class FaultMatrix : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetGlobalState();
    fs::copy(ORVIK_SAMPLE_CD, cd_.path(), fs::copy_options::recursive);
    cd_listing_ = ListFolder(cd_.path());
  }
  void TearDown() override { testing::ResetGlobalState(); }

  // The text of one of the CD's messages, as the format places it.
  std::string Lines(cd_format::MessageText lines) {
    std::string text;
    PosixFileSystem files;
    files.MapDrive('D', cd_.path());
    LoadInstallMessage(files, 'D', 'e', lines.first, lines.count, text);
    return text;
  }

  static std::string SupportLines() {
    return std::string("Contact Ostmarrow at ") + kSupportTelephone + ",\n" +
           "or at " + kSupportEmail + ",  including this message.\n";
  }

  struct Run {
    InstallResult result = static_cast<InstallResult>(1);
    std::string message;
    CopyStep failed_step = CopyStep::kNone;
    std::string failed_path;
    std::vector<Call> calls;
    Listing destination;
    std::string current_folder;
  };

  // Setup's installation from the CD in drive D, started there.
  void Install(Destination destination, const Fault* fault, Run& run,
               Placement placement = Placement::kFileByFile) {
    testing::ResetGlobalState();
    TempFolder drive_c;
    if (destination == Destination::kPopulated) {
      drive_c.WriteFile("orvik8/orvik8.exe", "the older program");
      drive_c.WriteFile("orvik8/factory.mar", "the user's settings");
      drive_c.WriteFile("orvik8/astdata.ast", "stale");
      drive_c.WriteFile("orvik8/astdata.lim", "stale");
    }
    drive_c.WriteFile("windows/win.ini", "[windows]\r\n");
    const Listing outside_before = ListFolder(drive_c.path(), "orvik8");
    const Listing inside_before = ListFolder(drive_c.path());
    PosixFileSystem files;
    files.MapDrive('C', drive_c.path());
    files.MapDrive('D', cd_.path());
    files.SetCurrentDrive('D');
    FaultyFileSystem faulty(files);
    if (fault != nullptr) {
      if (fault->op == Operation::kAllocate) {
        faulty.LimitAllocation(fault->allocation_limit);
      } else {
        faulty.FailCall(fault->op, fault->nth);
        faulty.SetReadFault(fault->read);
        faulty.SetWriteFault(fault->write);
        faulty.SetCreateFolderFault(fault->create_folder);
      }
    }
    CopyRequest request;
    request.source = CdDrive('D');
    request.language = 'e';
    request.dest_dir = kDestination;
    request.placement = placement;
    CopyReport report = CopyInstallFiles(faulty, request);
    run.result = report.result;
    run.message = std::move(report.message);
    run.failed_step = report.failed_step;
    run.failed_path = std::move(report.failed_path);
    run.calls = faulty.calls();
    run.destination = drive_c.Exists("orvik8")
                          ? ListFolder(drive_c.path() + "/orvik8")
                          : Listing{};
    run.current_folder = files.CurrentFolder();
    EXPECT_EQ(outside_before, ListFolder(drive_c.path(), "orvik8"))
        << "written outside the destination";
    EXPECT_EQ(cd_listing_, ListFolder(cd_.path())) << "the CD changed";
    // An earlier file that stepped aside stays behind only when removing it failed.
    const bool removal_failed = fault != nullptr && fault->op == Operation::kRemoveFile;
    for (const auto& entry : run.destination)
      if (!removal_failed || placement == Placement::kFileByFile) {
        EXPECT_EQ(std::string::npos, entry.first.find(".tmp")) << "left behind";
      }
    if (fault != nullptr && fault->op != Operation::kAllocate) {
      EXPECT_TRUE(faulty.fault_fired()) << "the fault never struck";
    }
  }

  // The failed call as the clean run made it, its role, and for a copy the
  // destination it was to be moved to.
  struct Seen {
    Call call;
    Role role = Role::kSource;
    std::string destination;
  };

  static Seen FindCall(const Run& clean, const Fault& fault) {
    std::size_t nth = 0;
    bool copies_done = false;  // the success text comes after the change of folder
    for (std::size_t i = 0; i < clean.calls.size(); ++i) {
      const Call& call = clean.calls[i];
      copies_done |= call.op == Operation::kSetCurrentFolder;
      if (call.op == fault.op && ++nth == fault.nth) {
        Seen seen{call, Role::kSource, ""};
        if (call.op == Operation::kCreateFolder ||
            call.op == Operation::kSetCurrentFolder)
          seen.role = Role::kFolder;
        else if (call.op == Operation::kRemoveFile)
          seen.role = Role::kStaleData;
        else if (call.op == Operation::kMoveReplacing)
          seen.role = Role::kDestination;
        else if (call.on_written_file)
          seen.role = Role::kTemporary;
        else if (call.path == kCopyListPath && InListReading(clean, i))
          seen.role = Role::kCopyList;
        else if (copies_done)
          seen.role = Role::kMessageFile;
        for (std::size_t j = i; j < clean.calls.size(); ++j)
          if (clean.calls[j].op == Operation::kMoveReplacing) {
            seen.destination = clean.calls[j].path;
            break;
          }
        return seen;
      }
    }
    ADD_FAILURE() << "the clean run made no such call";
    return Seen{Call{fault.op, ""}, Role::kSource, ""};
  }

  // The list is read and closed before any entry is opened (the sample
  // list names itself at a check-only position): a call on the list's path
  // belongs to that reading while it is the only file opened so far.
  static bool InListReading(const Run& clean, std::size_t index) {
    std::size_t opened = 0;
    for (std::size_t i = 0; i < index; ++i)
      opened += clean.calls[i].op == Operation::kOpenForReading;
    return opened <= 1;
  }

  Outcome OutcomeOf(Ending ending, const std::string& destination) {
    switch (ending) {
      case Ending::kSuccess: return {InstallResult::kOk, Lines(cd_format::kSuccessText)};
      case Ending::kNoText: return {InstallResult::kOk, ""};
      case Ending::kFolderFailed:
        return {InstallResult::kDestFolderFailed, Lines(cd_format::kDestFolderFailedText)};
      case Ending::kListFailed:
        return {InstallResult::kCopyListFailed, Lines(cd_format::kCopyListMissingText)};
      case Ending::kSourceFailed:
        return {InstallResult::kSourceFileFailed, Lines(cd_format::kFileFailedText)};
      case Ending::kDestFailed:
        return {InstallResult::kDestFileFailed, Lines(cd_format::kFileFailedText)};
      case Ending::kWriteFailed:
        return {InstallResult::kWriteFailed,
                "INSTALL FAILURE: Couldn't copy " + destination + "\n" + SupportLines()};
    }
    ADD_FAILURE() << "no such ending";
    return {InstallResult::kOk, ""};
  }

  // What the installation must end with when `fault` strikes.
  Outcome Expected(const Run& clean, const Fault& fault, Destination destination) {
    if (fault.op == Operation::kAllocate) {
      if (fault.allocation_limit > 0) return OutcomeOf(Ending::kSuccess, "");
      return {InstallResult::kOutOfMemory,
              "INSTALL FAILURE: Not enough memory to copy the files.\n" + SupportLines()};
    }
    if (fault.op == Operation::kCreateFolder) {
      if (fault.create_folder == CreateFolderResult::kNoSuchPath)
        return OutcomeOf(Ending::kFolderFailed, "");
      // Ignored; without the folder the first copy has nowhere to go.
      return OutcomeOf(destination == Destination::kAbsent ? Ending::kDestFailed
                                                           : Ending::kSuccess, "");
    }
    const Seen seen = FindCall(clean, fault);
    // A call that failed in the clean run changes nothing by failing again;
    // a short read is no error.
    if (!seen.call.succeeded || (fault.op == Operation::kRead && fault.read == ReadFault::kShort))
      return OutcomeOf(Ending::kSuccess, "");
    // The message file's lines are all in its first block.
    if (fault.op == Operation::kRead && seen.role == Role::kMessageFile &&
        seen.call.call_on_file > 0)
      return OutcomeOf(Ending::kSuccess, "");
    for (const Rule& rule : kRules)
      if (rule.op == fault.op && rule.role == seen.role)
        return OutcomeOf(rule.ending, seen.destination);
    ADD_FAILURE() << "no rule for this call";
    return {InstallResult::kOk, ""};
  }

  // The destination after a success: as after the clean run, but where the
  // fault kept a stale file.
  static Listing ExpectedDestination(const Run& clean, const Fault& fault,
                                     Destination destination) {
    Listing expected = clean.destination;
    if (fault.op != Operation::kRemoveFile || destination != Destination::kPopulated)
      return expected;
    const std::string& path = FindCall(clean, fault).call.path;
    expected[path.substr(path.rfind('\\') + 1)] = "stale";
    return expected;
  }

  static std::vector<Fault> AllFaults(const Run& clean) {
    std::vector<Fault> faults;
    std::map<Operation, std::size_t> counts;
    for (const Call& call : clean.calls) ++counts[call.op];
    for (const auto& [op, count] : counts) {
      if (op == Operation::kAllocate) continue;
      for (std::size_t nth = 1; nth <= count; ++nth) {
        Fault fault;
        fault.op = op;
        fault.nth = nth;
        faults.push_back(fault);
        if (op == Operation::kRead) {
          fault.read = ReadFault::kShort;
          faults.push_back(fault);
        }
        if (op == Operation::kWrite) {
          fault.write = WriteFault::kNothing;
          faults.push_back(fault);
        }
        if (op == Operation::kCreateFolder) {
          fault.create_folder = CreateFolderResult::kOtherError;
          faults.push_back(fault);
        }
      }
    }
    for (std::size_t limit = kLargestCopyChunk;; limit /= 2) {
      Fault fault;
      fault.op = Operation::kAllocate;
      fault.allocation_limit = limit;
      faults.push_back(fault);
      if (limit == 0) break;
    }
    return faults;
  }

  // Durable before visible: each file's last write is flushed before the
  // file is moved over its name.
  static void ExpectEveryMoveAfterAFlush(const Run& clean) {
    bool flushed = false;
    std::size_t moves = 0;
    for (const Call& call : clean.calls) {
      if (call.op == Operation::kWrite) flushed = false;
      if (call.op == Operation::kFlush) flushed = call.succeeded;
      if (call.op != Operation::kMoveReplacing) continue;
      ++moves;
      EXPECT_TRUE(flushed) << call.path << " moved before it was flushed";
    }
    EXPECT_GT(moves, 0u);
  }

  // Runs every fault against an installation into `destination`; returns
  // the number of runs.
  std::size_t Sweep(Destination destination) {
    Run clean_absent, clean;
    Install(Destination::kAbsent, nullptr, clean_absent);
    Install(destination, nullptr, clean);
    EXPECT_EQ(InstallResult::kOk, clean.result);
    EXPECT_EQ(Lines(cd_format::kSuccessText), clean.message);
    ExpectEveryMoveAfterAFlush(clean);

    const std::vector<Fault> faults = AllFaults(clean);
    for (const Fault& fault : faults) {
      SCOPED_TRACE(Describe(fault));
      Run run;
      Install(destination, &fault, run);
      const Outcome expected = Expected(clean, fault, destination);
      EXPECT_STREQ(InstallResultName(expected.result), InstallResultName(run.result));
      EXPECT_EQ(expected.text, run.message);
      if (run.result == InstallResult::kOk) {
        EXPECT_EQ(CopyStep::kNone, run.failed_step);
        EXPECT_EQ(ExpectedDestination(clean, fault, destination), run.destination);
        continue;
      }
      EXPECT_NE(CopyStep::kNone, run.failed_step) << "the log would not say what failed";
      EXPECT_EQ("D:\\", run.current_folder) << "the run went on after the failure";
      if (fault.op != Operation::kAllocate && fault.op != Operation::kCreateFolder) {
        const Seen seen = FindCall(clean, fault);
        if (seen.role == Role::kTemporary || seen.role == Role::kDestination) {
          EXPECT_EQ(seen.destination, run.failed_path) << "the log names another file";
        } else if (seen.role == Role::kSource) {
          EXPECT_EQ(seen.call.path, run.failed_path) << "the log names another file";
        }
      }
      // Whole copies, and what the earlier installation left.
      const Listing& complete = clean_absent.destination;
      for (const auto& [name, bytes] : run.destination) {
        const bool left_before =
            destination == Destination::kPopulated &&
            ((name == "orvik8.exe" && bytes == "the older program") ||
             (name == "factory.mar" && bytes == "the user's settings") ||
             (name.rfind("astdata.", 0) == 0 && bytes == "stale"));
        const bool whole = complete.count(name) != 0 && complete.at(name) == bytes;
        EXPECT_TRUE(left_before || whole) << name << " is neither a copy nor an earlier file";
      }
    }
    return faults.size();
  }

  // orvik-install's upgrade: whatever single call fails, the run completes
  // or leaves the earlier installation exactly as it was.
  std::size_t SweepAllOrNothing() {
    Run before, clean;
    Install(Destination::kPopulated, nullptr, clean, Placement::kAllOrNothing);
    EXPECT_EQ(InstallResult::kOk, clean.result);
    {
      TempFolder drive_c;
      drive_c.WriteFile("orvik8/orvik8.exe", "the older program");
      drive_c.WriteFile("orvik8/factory.mar", "the user's settings");
      drive_c.WriteFile("orvik8/astdata.ast", "stale");
      drive_c.WriteFile("orvik8/astdata.lim", "stale");
      before.destination = ListFolder(drive_c.path() + "/orvik8");
    }
    const std::vector<Fault> faults = AllFaults(clean);
    for (const Fault& fault : faults) {
      SCOPED_TRACE(Describe(fault));
      Run run;
      Install(Destination::kPopulated, &fault, run, Placement::kAllOrNothing);
      if (run.result != InstallResult::kOk) {
        EXPECT_EQ(before.destination, run.destination) << "a failed upgrade changed the folder";
        continue;
      }
      for (const auto& [name, bytes] : clean.destination) {
        const bool stale_kept = name.rfind("astdata.", 0) == 0;
        if (!stale_kept) {
          EXPECT_EQ(bytes, run.destination[name]) << name;
        }
      }
    }
    return faults.size();
  }

  TempFolder cd_;
  Listing cd_listing_;
};

TEST_F(FaultMatrix, EveryCallOfTheInstallationFailsInEachWayInTurn) {
  const std::size_t fresh = Sweep(Destination::kAbsent);
  const std::size_t again = Sweep(Destination::kPopulated);
  std::cout << "[ fault matrix ] " << fresh + again << " installations ("
            << fresh << " into a new folder, " << again
            << " over an earlier installation)\n";
  EXPECT_GT(fresh, 100u);
}

TEST_F(FaultMatrix, AnUpgradeCompletesOrChangesNothing) {
  EXPECT_GT(SweepAllOrNothing(), 100u);
}

}  // namespace
}  // namespace orvik
