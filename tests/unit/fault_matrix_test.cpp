// The whole OK press of the install dialog over a copy of the sample CD,
// repeated with one call of one file operation failing, in each way it can
// fail, for every call the clean installation makes. Every run must show
// the prescribed result and text, log the same text under "rval", make the
// shortcut exactly after a success, touch nothing outside the destination
// folder, and leave in it only whole or partly written copies.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>

#include "engine/copy_engine.h"
#include "engine/install_message.h"
#include "engine/result_codes.h"
#include "ui/install_dlg.h"
#include "ui/resource.h"
#include "unit/fakes.h"
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

enum class Destination {
  kAbsent,
  // An earlier installation: the user's factory.mar and the stale data.
  kPopulated,
};

struct Fault {
  Operation op = Operation::kRead;
  std::size_t nth = 0;  // counted from the OK press
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
  int result;
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

  std::string Lines(unsigned first, unsigned count) {
    std::string text;
    PosixFileSystem files;
    files.MapDrive('D', cd_.path());
    LoadInstallMessage(files, 'D', 'e', first, count, text);
    return text;
  }

  static std::string WriteFailure(const std::string& dest_path) {
    return "INSTALL FAILURE: Couldn't copy " + dest_path + "\n" +
           "Contact Ostmarrow at " + kSupportTelephone + ",\n" + "or at " +
           kSupportEmail + ",  including this message.\n";
  }

  struct Run {
    int rval = 1;
    std::string log_record;
    testing::FakeDialogWindow window;
    testing::FakeShell shell;
    std::vector<Call> calls;  // made by the OK press
    Listing destination;
    std::string current_folder;
  };

  // Setup started from the CD in drive D: the dialog comes up, then OK is
  // pressed with the fault armed.
  void Install(Destination destination, const Fault* fault, Run& run) {
    testing::ResetGlobalState();
    TempFolder drive_c;
    if (destination == Destination::kPopulated) {
      drive_c.WriteFile("orvik8/factory.mar", "the user's settings");
      drive_c.WriteFile("orvik8/astdata.ast", "stale");
      drive_c.WriteFile("orvik8/astdata.lim", "stale");
    }
    drive_c.WriteFile("windows/win.ini", "[windows]\r\n");
    const Listing outside_before = ListFolder(drive_c.path(), "orvik8");
    PosixFileSystem files;
    files.MapDrive('C', drive_c.path());
    files.MapDrive('D', cd_.path());
    files.SetCurrentDrive('D');
    FaultyFileSystem faulty(files);
    testing::FakeDrives drives;
    CInstallDlg dialog(InstallServices{faulty, drives, run.shell});
    dialog.Attach(&run.window);
    dialog.m_cSourceDrive = 'D';
    dialog.OnInitDialog();
    run.window.calls.clear();

    const std::size_t before_ok = faulty.calls().size();
    if (fault != nullptr) {
      if (fault->op == Operation::kAllocate) {
        faulty.LimitAllocation(fault->allocation_limit);
      } else {
        faulty.FailCall(fault->op, faulty.CallCount(fault->op) + fault->nth);
        faulty.SetReadFault(fault->read);
        faulty.SetWriteFault(fault->write);
        faulty.SetCreateFolderFault(fault->create_folder);
      }
    }
    {
      testing::CapturedLog log;
      dialog.OnOK();
      const std::string text = log.Text();
      const std::size_t record = text.find("rval = ");
      if (record != std::string::npos) {
        run.log_record = text.substr(record);
        run.rval = std::atoi(text.c_str() + record + 7);
      }
    }
    run.calls.assign(faulty.calls().begin() + static_cast<long>(before_ok),
                     faulty.calls().end());
    run.destination = drive_c.Exists("orvik8")
                          ? ListFolder(drive_c.path() + "/orvik8")
                          : Listing{};
    run.current_folder = files.CurrentFolder();
    EXPECT_EQ(outside_before, ListFolder(drive_c.path(), "orvik8"))
        << "written outside the destination";
    EXPECT_EQ(cd_listing_, ListFolder(cd_.path())) << "the CD changed";
    if (fault != nullptr && fault->op != Operation::kAllocate) {
      EXPECT_TRUE(faulty.fault_fired()) << "the fault never struck";
    }
  }

  // The failed call as the clean run made it, and where it stood.
  struct Seen {
    Call call;
    bool on_copy_list;   // the first file opened is the copy list
    bool after_copying;  // after the change into the destination folder
  };

  static Seen FindCall(const Run& clean, const Fault& fault) {
    std::size_t nth = 0;
    std::size_t opened = 0;
    bool after_copying = false;
    for (const Call& call : clean.calls) {
      after_copying |= call.op == Operation::kSetCurrentFolder;
      opened += call.op == Operation::kOpenForReading;
      if (call.op == fault.op && ++nth == fault.nth)
        return {call, opened == 1 && !call.on_written_file, after_copying};
    }
    ADD_FAILURE() << "the clean run made no such call";
    return {Call{fault.op, ""}, false, false};
  }

  // What the installation must end with when `fault` strikes.
  Outcome Expected(const Run& clean, const Fault& fault, Destination destination) {
    const Outcome success{kResultOk, Lines(13, 1)};
    const Outcome file_failed{kInstallSourceFileFailed, Lines(9, 3)};
    const Outcome dest_failed{kInstallDestFileFailed, Lines(9, 3)};
    const Outcome list_failed{kInstallCopyListFailed, Lines(6, 2)};
    if (fault.op == Operation::kAllocate) {
      if (fault.allocation_limit > 0) return success;
      return {kInstallOutOfMemory,
              "INSTALL FAILURE: Not enough memory to copy the files.\n"
              "Contact Ostmarrow at " + std::string(kSupportTelephone) + ",\n" +
              "or at " + kSupportEmail + ",  including this message.\n"};
    }
    const Seen seen = FindCall(clean, fault);
    const Call& call = seen.call;
    const bool copy_list = seen.on_copy_list;
    const bool message_file = seen.after_copying;  // the success text's lookup
    switch (fault.op) {
      case Operation::kOpenForReading:
        if (!call.succeeded) return success;  // it failed all the same
        if (copy_list) return list_failed;    // and copylist.dat is absent
        if (message_file) return {kResultOk, ""};  // and no legacy file
        if (call.path.rfind("c:\\orvik8\\", 0) == 0) return success;  // kept file taken as absent
        return file_failed;
      case Operation::kOpenForWriting:
        return dest_failed;
      case Operation::kRead:
        if (fault.read == ReadFault::kShort) return success;
        if (copy_list) return list_failed;
        if (message_file) return {kResultOk, ""};
        return file_failed;
      case Operation::kWrite:
        return {kInstallWriteFailed, WriteFailure(call.path)};
      case Operation::kClose:
        if (call.on_written_file) return {kInstallWriteFailed, WriteFailure(call.path)};
        return success;
      case Operation::kCreateFolder:
        if (fault.create_folder == CreateFolderResult::kNoSuchPath)
          return {kInstallDestFolderFailed, Lines(4, 2)};
        return destination == Destination::kAbsent ? dest_failed : success;
      case Operation::kSetCurrentFolder:
      case Operation::kRemoveFile:
      case Operation::kAllocate:
        return success;
    }
    return success;
  }

  // The destination after a success: as after the clean run, but where the
  // fault kept a stale file or made a kept file count as absent.
  static Listing ExpectedDestination(const Run& clean, const Run& clean_absent,
                                     const Fault& fault, Destination destination) {
    Listing expected = clean.destination;
    if (destination != Destination::kPopulated || fault.op == Operation::kAllocate)
      return expected;
    const Call call = FindCall(clean, fault).call;
    if (fault.op == Operation::kRemoveFile)
      expected[call.path.substr(call.path.rfind('\\') + 1)] = "stale";
    if (fault.op == Operation::kOpenForReading && call.path == "c:\\orvik8\\factory.mar")
      expected["factory.mar"] = clean_absent.destination.at("factory.mar");
    return expected;
  }

  static std::vector<Fault> AllFaults(const Run& clean) {
    std::vector<Fault> faults;
    std::map<Operation, std::size_t> counts;
    for (const Call& call : clean.calls) ++counts[call.op];
    for (const auto& [op, count] : counts) {
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

  static const std::vector<std::string>& ShortcutCalls() {
    static const std::vector<std::string> calls{
        "CoInitialize", "DesktopFolder user", "CoCreateInstance ShellLink",
        "SetPath c:\\orvik8\\orvik8.exe", "SetWorkingDirectory c:\\orvik8",
        "SetDescription Orvik 8.0 (Ostmarrow)", "QueryInterface IPersistFile",
        "Save C:\\Users\\Ann\\Desktop\\orvik8.lnk TRUE", "Release IPersistFile",
        "Release IShellLinkA", "CoUninitialize"};
    return calls;
  }

  // Runs every fault against an installation into `destination`; returns
  // the number of runs.
  std::size_t Sweep(Destination destination) {
    Run clean_absent, clean;
    Install(Destination::kAbsent, nullptr, clean_absent);
    Install(destination, nullptr, clean);
    EXPECT_EQ(kResultOk, clean.rval);
    EXPECT_EQ(Lines(13, 1), clean.window.message_box_text);
    EXPECT_EQ(ShortcutCalls(), clean.shell.calls);

    const std::vector<Fault> faults = AllFaults(clean);
    for (const Fault& fault : faults) {
      SCOPED_TRACE(Describe(fault));
      Run run;
      Install(destination, &fault, run);
      const Outcome expected = Expected(clean, fault, destination);
      EXPECT_STREQ(InstallResultName(expected.result), InstallResultName(run.rval));
      EXPECT_EQ(expected.text, run.window.message_box_text);
      EXPECT_EQ("rval = " + std::to_string(run.rval) + "\n" +
                    run.window.message_box_text + "\n",
                run.log_record);
      EXPECT_EQ((std::vector<std::string>{"messagebox", "end 1"}), run.window.calls);
      EXPECT_EQ("Orvik Setup", run.window.message_box_caption);
      if (run.rval == kResultOk) {
        EXPECT_EQ(ShortcutCalls(), run.shell.calls);
        EXPECT_EQ(ExpectedDestination(clean, clean_absent, fault, destination),
                  run.destination);
        continue;
      }
      EXPECT_TRUE(run.shell.calls.empty()) << "a shortcut after a failure";
      EXPECT_EQ("D:\\", run.current_folder) << "the run went on after the failure";
      // Whole or cut-short copies, and what the earlier installation left.
      const Listing& complete = clean_absent.destination;
      for (const auto& [name, bytes] : run.destination) {
        const bool left_before =
            destination == Destination::kPopulated &&
            ((name == "factory.mar" && bytes == "the user's settings") ||
             (name.rfind("astdata.", 0) == 0 && bytes == "stale"));
        const bool part = complete.count(name) != 0 &&
                          complete.at(name).compare(0, bytes.size(), bytes) == 0;
        EXPECT_TRUE(left_before || part) << name << " is neither a copy nor a part of one";
      }
      if (run.rval == kInstallWriteFailed) {
        // The file being written stays, cut short.
        const std::string failed = expected.text.substr(
            expected.text.find("c:\\orvik8\\") + 10,
            expected.text.find('\n') - expected.text.find("c:\\orvik8\\") - 10);
        EXPECT_EQ(1u, run.destination.count(failed)) << failed;
      }
    }
    return faults.size();
  }

  TempFolder cd_;
  Listing cd_listing_;
};

TEST_F(FaultMatrix, EveryCallOfTheOkPressFailsInEachWayInTurn) {
  const std::size_t fresh = Sweep(Destination::kAbsent);
  const std::size_t again = Sweep(Destination::kPopulated);
  std::cout << "[ fault matrix ] " << fresh + again << " runs of the OK press ("
            << fresh << " into a new folder, " << again
            << " over an earlier installation)\n";
  EXPECT_GT(fresh, 100u);
}

}  // namespace
}  // namespace orvik
