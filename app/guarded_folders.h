// The folders an unattended run works in: the destination and every
// folder above it, held open and, when elevated, checked or made so that
// only administrators can change them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/unattended.h"
#include "engine/file_system.h"

namespace orvik {

// Why a run cannot use the destination; status 0 when it can.
struct Refusal {
  int status = kExitSuccess;
  std::string folder;
  std::string reason;
};

// An elevated run holds every folder from the root down to the
// destination open until it ends, so none can be renamed or replaced by a
// link under it, and accepts only folders that administrators alone can
// change; the missing ones it makes itself, protected, unless `create` is
// false (a removal). A user who could rename a folder on the way, or who
// made the destination beforehand, could otherwise send the files, or a
// planted DLL, wherever he likes.
class ElevatedDestination {
 public:
  ElevatedDestination(UnattendedHost& host, FileSystem& files)
      : host_(host), files_(files) {}

  Refusal Prepare(const std::string& dest, bool create = true);
  // Lets go of the destination itself, so that it can be removed; the
  // folders above it stay held.
  void ReleaseDestination();

 private:
  UnattendedHost& host_;
  FileSystem& files_;
  std::vector<std::unique_ptr<HeldFolder>> held_;
};

// Every missing folder below the volume's root down to `folder`,
// `restricted` as CreateFolder takes it. The first that cannot be made
// stops it: what needs the folder reports that (the engine, the log's
// opening).
void CreateMissingFolders(const std::string& folder, UnattendedHost& host, FileSystem& files,
                          bool restricted = false);

}  // namespace orvik
