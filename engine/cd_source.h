// Where the CD's files are read from: a drive ("E:"), or a folder or share
// that holds the CD's contents ("C:\pkg\Orvik 8", "\\server\share\Orvik"),
// as deployment systems copy it. Every path of the CD is built here, so
// that for a folder nothing outside it can be named.
#pragma once

#include <string>

namespace orvik {

struct CdSource {
  // "E:" for a drive; a folder without a trailing separator; empty for
  // none, the current drive.
  std::string root;
  // The letter written into startup.mar's CD-drive line; 0 leaves it to
  // the copy engine (the source drive's letter, else the current drive's).
  char cd_drive_letter = 0;

  bool IsFolder() const;
  // The path of `name` ("\install\x.dat", "\prog\main.exe") on the CD. On
  // a drive or without a source it is the drive's prefix and the name as
  // written, as Windows resolves it. In a folder "." and ".." are resolved
  // here and never climb above the folder, "/" separates like "\", and a
  // name with a component that holds ":" or ends in a dot or a blank
  // (which Windows would change under us) gives the empty path, which
  // names no file.
  std::string PathOf(const std::string& name) const;
};

// Drive `letter` ('E' gives "E:", written as 'E' into the CD-drive line);
// letter 0 is no source drive at all.
CdSource CdDrive(char letter);
// A folder or share; a trailing separator is dropped, and a drive root
// ("E:\") is the drive.
CdSource CdFolder(const std::string& folder, char cd_drive_letter = 0);

}  // namespace orvik
