#include "engine/cd_source.h"

#include <gtest/gtest.h>

#include "engine/copy_list.h"
#include "engine/windows_path.h"

namespace orvik {
namespace {

TEST(CdSource, DriveAndNoSourceKeepThePathsAsWritten) {
  EXPECT_EQ("E:\\install\\eopylist.dat", CdDrive('E').PathOf("\\install\\eopylist.dat"));
  // Windows clamps these at the drive's root itself.
  EXPECT_EQ("d:\\..\\x.", CdDrive('d').PathOf("\\..\\x."));
  EXPECT_EQ("\\prog\\main.exe", CdDrive(0).PathOf("\\prog\\main.exe"));
  EXPECT_EQ('E', CdDrive('E').cd_drive_letter);
  EXPECT_EQ(0, CdDrive(0).cd_drive_letter);
  const CdSource root = CdFolder("E:\\");
  EXPECT_FALSE(root.IsFolder());
  EXPECT_EQ("E:\\prog\\x", root.PathOf("\\prog\\x"));
  EXPECT_EQ('E', root.cd_drive_letter);
}

TEST(CdSource, FolderPathsStayInsideTheFolder) {
  const CdSource folder = CdFolder("C:\\pkg\\Orvik 8\\", 'f');
  EXPECT_TRUE(folder.IsFolder());
  EXPECT_EQ('f', folder.cd_drive_letter);
  const CdSource share = CdFolder("\\\\server\\share\\Orvik");
  const struct {
    const char* name;
    const char* in_folder;  // "" for refused
  } cases[] = {
      {"\\install\\eopylist.dat", "C:\\pkg\\Orvik 8\\install\\eopylist.dat"},
      {"prog\\main.exe", "C:\\pkg\\Orvik 8\\prog\\main.exe"},
      {"/prog//./main.exe", "C:\\pkg\\Orvik 8\\prog\\main.exe"},
      {"\\..\\..\\Windows\\win.ini", "C:\\pkg\\Orvik 8\\Windows\\win.ini"},
      {"\\prog\\..\\..\\x", "C:\\pkg\\Orvik 8\\x"},
      {"\\prog/../../../x", "C:\\pkg\\Orvik 8\\x"},
      {"\\", "C:\\pkg\\Orvik 8"},
      {"\\prog\\startup.mar.", ""},
      {"\\prog \\x", ""},
      {"\\...\\x", ""},
      {"\\prog\\x:stream", ""},
      {"\\C:\\x", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.in_folder, folder.PathOf(c.name)) << c.name;
  }
  EXPECT_EQ("\\\\server\\share\\Orvik\\x", share.PathOf("\\..\\..\\x"));
  EXPECT_EQ("\\\\server\\share\\Orvik\\prog\\x", SourcePath("\\prog\\x", 'A', share));
  EXPECT_EQ("A:\\extra\\x.dat", SourcePath(":\\extra\\x.dat", 'A', share));
}

// The roots that keep their separator, the folder a file is in, and the
// folders an elevated run holds from the volume's root down (asked of
// paths without a trailing separator, as the callers give them).
TEST(WindowsPath, TrailingSeparatorsRootsAndTheFoldersDown) {
  using Folders = std::vector<std::string>;
  const struct {
    const char* path;
    const char* without_trailing;
    const char* prefix;  // what "\name" is appended to
    const char* folder_of;
    Folders down;
  } cases[] = {
      {"C:\\", "C:\\", "C:", "C:\\", {"C:\\"}},
      {"C:/", "C:/", "C:", "C:/", {"C:/"}},
      {"C:\\\\", "C:\\", "C:", "C:\\", {}},
      {"C:", "C:", "C:", "", {"C:"}},
      {"C:\\x.exe", "C:\\x.exe", "C:\\x.exe", "C:\\", {"C:\\", "C:\\x.exe"}},
      {"C:\\Vendor\\Orvik\\", "C:\\Vendor\\Orvik", "C:\\Vendor\\Orvik", "C:\\Vendor\\Orvik", {}},
      {"c:\\a//b", "c:\\a//b", "c:\\a//b", "c:\\a/", {"c:\\", "c:\\a", "c:\\a//b"}},
      {"\\\\srv\\share\\", "\\\\srv\\share", "\\\\srv\\share", "\\\\srv\\share", {}},
      {"\\\\srv\\share\\Orvik", "\\\\srv\\share\\Orvik", "\\\\srv\\share\\Orvik", "\\\\srv\\share",
       {"\\\\srv\\share", "\\\\srv\\share\\Orvik"}},
      {"\\\\srv", "\\\\srv", "\\\\srv", "\\", {"\\\\srv"}},
      {"\\", "\\", "", "", {"\\"}},
      {"cd\\", "cd", "cd", "cd", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.without_trailing, WithoutTrailingSeparators(c.path)) << c.path;
    EXPECT_EQ(c.prefix, FolderPrefix(c.path)) << c.path;
    EXPECT_EQ(c.folder_of, FolderOf(c.path)) << c.path;
    if (!c.down.empty()) {
      EXPECT_EQ(c.down, FoldersDownTo(c.path)) << c.path;
    }
  }
}

}  // namespace
}  // namespace orvik
