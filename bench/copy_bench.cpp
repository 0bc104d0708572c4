// Installs a generated CD with the copy engine, as setup.exe would, over
// the POSIX drive mapping: drive D is the CD folder, drive C the folder
// that receives the destination. The benchmark script times it.
#include <cstdio>
#include <string>

#include "engine/copy_engine.h"
#include "engine/result_codes.h"
#include "platform/posix/posix_file_system.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s CD-FOLDER DEST-PARENT DEST-NAME\n", argv[0]);
    return 2;
  }
  // Names as spelled: the figures are the engine's, not the stand-in's
  // case-insensitive lookups.
  orvik::PosixFileSystem files(orvik::NameMatching::kExact);
  files.MapDrive('D', argv[1]);
  files.MapDrive('C', argv[2]);
  files.SetCurrentDrive('C');
  std::string message;
  const orvik::InstallResult result = orvik::CopyInstallFiles(
      files, 0, 'D', 'e', std::string("C:\\") + argv[3], message);
  if (result != orvik::InstallResult::kOk) {
    std::fprintf(stderr, "%s\n%s", orvik::InstallResultName(result),
                 message.c_str());
    return 1;
  }
  return 0;
}
