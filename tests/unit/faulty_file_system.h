// A FileSystem that passes every call on to another one, records it, and
// fails the N-th call of a chosen operation, so that each error path of the
// engine can be driven from a test. The queries (Exists, SameFile, IsLink)
// are passed on unrecorded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/file_system.h"

namespace orvik::testing {

enum class Operation {
  kOpenForReading,
  kRead,
  kWrite,
  kClose,
  kCreateFolder,
  kSetCurrentFolder,
  kRemoveFile,
  kAllocate,
  kCreateExclusive,
  kMoveReplacing,
  kFlush,
};
constexpr std::size_t kOperationCount = 11;

inline const char* OperationName(Operation op) {
  switch (op) {
    case Operation::kOpenForReading: return "open-read";
    case Operation::kRead: return "read";
    case Operation::kWrite: return "write";
    case Operation::kClose: return "close";
    case Operation::kCreateFolder: return "create-folder";
    case Operation::kSetCurrentFolder: return "set-current-folder";
    case Operation::kRemoveFile: return "remove";
    case Operation::kAllocate: return "allocate";
    case Operation::kCreateExclusive: return "create-exclusive";
    case Operation::kMoveReplacing: return "move";
    case Operation::kFlush: return "flush";
  }
  return "?";
}

// How a failing read fails.
enum class ReadFault {
  kError,  // kReadError, nothing read
  kShort,  // half of what was asked (at least 1 byte), the rest left
};

// How a failing write fails.
enum class WriteFault {
  kShort,    // half of the bytes written
  kNothing,  // no byte written, as on a disk that is full
};

// One call as it happened. For a file operation, `path` is the path the
// file was opened with.
struct Call {
  Operation op;
  std::string path;
  bool succeeded = true;
  bool on_written_file = false;   // the file was opened for writing
  std::size_t call_on_file = 0;   // reads: 0 for the file's first read
  std::size_t requested = 0;      // reads: bytes asked for
  std::int64_t bytes = 0;         // reads and writes: bytes moved
  bool faulty = false;            // this call was made to fail
};

class FaultyFileSystem : public FileSystem {
 public:
  explicit FaultyFileSystem(FileSystem& inner)
      : inner_(inner), state_(std::make_shared<State>()) {}

  // The `nth` call (from 1) of `op` fails; 0 lifts the fault.
  void FailCall(Operation op, std::size_t nth) {
    state_->fail_op = op;
    state_->fail_nth = nth;
  }
  void SetReadFault(ReadFault fault) { state_->read_fault = fault; }
  void SetWriteFault(WriteFault fault) { state_->write_fault = fault; }
  void SetCreateFolderFault(CreateFolderResult result) {
    create_folder_fault_ = result;
  }
  // Every request for more than `max_size` bytes fails.
  void LimitAllocation(std::size_t max_size) { max_allocation_ = max_size; }
  // Overrides what CurrentDriveLetter reports.
  void SetCurrentDriveLetter(char letter) { drive_letter_ = letter; }

  const std::vector<Call>& calls() const { return state_->calls; }
  std::size_t CallCount(Operation op) const {
    return state_->counts[static_cast<std::size_t>(op)];
  }
  bool fault_fired() const { return state_->fired; }

  std::unique_ptr<File> OpenForReading(const std::string& path) override {
    return Open(Operation::kOpenForReading, path, false);
  }
  std::unique_ptr<File> CreateExclusive(const std::string& path) override {
    return Open(Operation::kCreateExclusive, path, true);
  }

  bool MoveReplacing(const std::string& from, const std::string& to) override {
    Call& call = state_->Record(Operation::kMoveReplacing, to);
    call.succeeded = !call.faulty && inner_.MoveReplacing(from, to);
    return call.succeeded;
  }
  bool Exists(const std::string& path) override { return inner_.Exists(path); }
  bool SameFile(const std::string& a, const std::string& b) override {
    return inner_.SameFile(a, b);
  }
  bool IsLink(const std::string& path) override { return inner_.IsLink(path); }
  std::unique_ptr<HeldFolder> HoldFolder(const std::string& path) override {
    return inner_.HoldFolder(path);
  }

  CreateFolderResult CreateFolder(const std::string& path) override {
    Call& call = state_->Record(Operation::kCreateFolder, path);
    if (call.faulty) {
      call.succeeded = false;
      return create_folder_fault_;
    }
    const CreateFolderResult result = inner_.CreateFolder(path);
    call.succeeded = result == CreateFolderResult::kCreated;
    return result;
  }

  bool SetCurrentFolder(const std::string& path) override {
    Call& call = state_->Record(Operation::kSetCurrentFolder, path);
    call.succeeded = !call.faulty && inner_.SetCurrentFolder(path);
    return call.succeeded;
  }

  bool RemoveFile(const std::string& path) override {
    Call& call = state_->Record(Operation::kRemoveFile, path);
    call.succeeded = !call.faulty && inner_.RemoveFile(path);
    return call.succeeded;
  }

  char CurrentDriveLetter() override {
    return drive_letter_ != 0 ? drive_letter_ : inner_.CurrentDriveLetter();
  }

  std::unique_ptr<char[]> AllocateBuffer(std::size_t size) override {
    Call& call = state_->Record(Operation::kAllocate, std::to_string(size));
    call.bytes = static_cast<std::int64_t>(size);
    if (size > max_allocation_) {
      call.succeeded = false;
      return nullptr;
    }
    return inner_.AllocateBuffer(size);
  }

 private:
  // Shared with the files, which may outlive a call into the file system.
  struct State {
    std::vector<Call> calls;
    std::array<std::size_t, kOperationCount> counts{};
    Operation fail_op = Operation::kRead;
    std::size_t fail_nth = 0;
    ReadFault read_fault = ReadFault::kError;
    WriteFault write_fault = WriteFault::kShort;
    bool fired = false;

    // Records the call and decides whether it is the one to fail. The
    // reference is valid until the next call is recorded.
    Call& Record(Operation op, const std::string& path) {
      const std::size_t nth = ++counts[static_cast<std::size_t>(op)];
      Call call{op, path};
      call.faulty = op == fail_op && nth == fail_nth;
      fired = fired || call.faulty;
      calls.push_back(std::move(call));
      return calls.back();
    }
  };

  class FaultyFile : public File {
   public:
    FaultyFile(std::unique_ptr<File> inner, std::shared_ptr<State> state,
               std::string path, bool writing)
        : inner_(std::move(inner)),
          state_(std::move(state)),
          path_(std::move(path)),
          writing_(writing) {}

    std::int64_t Read(char* buffer, std::size_t size) override {
      Call& call = Record(Operation::kRead);
      call.call_on_file = reads_++;
      call.requested = size;
      std::int64_t got;
      if (call.faulty && state_->read_fault == ReadFault::kError) {
        got = kReadError;
      } else {
        const bool shorten = call.faulty && size > 1;
        got = inner_->Read(buffer, shorten ? size / 2 : size);
      }
      call.succeeded = got >= 0;
      call.bytes = got;
      return got;
    }

    std::size_t Write(const char* buffer, std::size_t size) override {
      Call& call = Record(Operation::kWrite);
      std::size_t attempt = size;
      if (call.faulty)
        attempt = state_->write_fault == WriteFault::kNothing ? 0 : size / 2;
      const std::size_t put = inner_->Write(buffer, attempt);
      call.succeeded = put == size;
      call.bytes = static_cast<std::int64_t>(put);
      return put;
    }

    bool Flush() override {
      Call& call = Record(Operation::kFlush);
      call.succeeded = inner_->Flush() && !call.faulty;
      return call.succeeded;
    }

    bool Close() override {
      Call& call = Record(Operation::kClose);
      call.succeeded = inner_->Close() && !call.faulty;
      return call.succeeded;
    }

   private:
    Call& Record(Operation op) {
      Call& call = state_->Record(op, path_);
      call.on_written_file = writing_;
      return call;
    }

    std::unique_ptr<File> inner_;
    std::shared_ptr<State> state_;
    std::string path_;
    bool writing_;
    std::size_t reads_ = 0;
  };

  std::unique_ptr<File> Open(Operation op, const std::string& path,
                             bool writing) {
    Call& call = state_->Record(op, path);
    call.on_written_file = writing;
    if (call.faulty) {
      call.succeeded = false;
      return nullptr;
    }
    std::unique_ptr<File> file;
    if (writing)
      file = inner_.CreateExclusive(path);
    else
      file = inner_.OpenForReading(path);
    call.succeeded = file != nullptr;
    if (!file) return nullptr;
    return std::make_unique<FaultyFile>(std::move(file), state_, path, writing);
  }

  FileSystem& inner_;
  std::shared_ptr<State> state_;
  CreateFolderResult create_folder_fault_ = CreateFolderResult::kNoSuchPath;
  std::size_t max_allocation_ = static_cast<std::size_t>(-1);
  char drive_letter_ = 0;
};

}  // namespace orvik::testing
