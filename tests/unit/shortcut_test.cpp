#include "shell/shortcut.h"

#include <gtest/gtest.h>

#include "shell/com_apartment.h"
#include "tests/unit/fakes.h"

namespace orvik {
namespace {

using Saved = std::vector<testing::SavedShortcut>;
using testing::FakeShell;

void CreateOrvikShortcut(FakeShell& shell) {
  const ComApartment com(shell);
  CreateShortcut(shell, "c:\\orvik8\\orvik8.exe", "orvik8.lnk", "c:\\orvik8",
                 "Orvik 8.0 (Ostmarrow)", ShortcutPlace::kUserDesktop);
}

testing::SavedShortcut OrvikShortcutAt(const std::string& path) {
  return {path, "c:\\orvik8\\orvik8.exe", "c:\\orvik8", "Orvik 8.0 (Ostmarrow)", true};
}

TEST(Shortcut, SavesTheThreePropertiesInTheFolder) {
  FakeShell shell;
  shell.folder = "D:\\Desk";
  CreateOrvikShortcut(shell);
  EXPECT_EQ(Saved{OrvikShortcutAt("D:\\Desk\\orvik8.lnk")}, shell.saved);
}

TEST(Shortcut, FolderEndingInBackslashIsNotNormalised) {
  FakeShell shell;
  shell.folder = "C:\\";
  CreateOrvikShortcut(shell);
  EXPECT_EQ(Saved{OrvikShortcutAt("C:\\\\orvik8.lnk")}, shell.saved);
}

TEST(Shortcut, NothingSavedWhenAStepFails) {
  FakeShell unresolved;
  unresolved.folder.clear();
  CreateOrvikShortcut(unresolved);
  EXPECT_TRUE(unresolved.saved.empty()) << "no link at the root of the current drive";

  FakeShell no_object;
  no_object.can_create_link = false;
  CreateOrvikShortcut(no_object);
  EXPECT_TRUE(no_object.saved.empty());

  FakeShell no_persist;
  no_persist.has_persist_file = false;
  CreateOrvikShortcut(no_persist);
  EXPECT_TRUE(no_persist.saved.empty());
}

TEST(Shortcut, OverLongPathsMakeNoShortcut) {
  FakeShell long_folder;
  long_folder.folder = "C:\\" + std::string(246, 'd');  // link path: 260
  CreateOrvikShortcut(long_folder);
  EXPECT_TRUE(long_folder.saved.empty());

  FakeShell long_target;
  {
    const ComApartment com(long_target);
    CreateShortcut(long_target, "c:\\" + std::string(257, 't'), "orvik8.lnk",
                   "c:\\x", "d", ShortcutPlace::kUserDesktop);
  }
  EXPECT_TRUE(long_target.saved.empty());

  FakeShell fits;
  fits.folder = "C:\\" + std::string(245, 'd');  // link path: 259
  CreateOrvikShortcut(fits);
  EXPECT_EQ(Saved{OrvikShortcutAt(fits.folder + "\\orvik8.lnk")}, fits.saved);
}

TEST(ComApartment, ReleasesOnlyAnInitialisationThatSucceeded) {
  FakeShell shell;
  { const ComApartment com(shell); }
  EXPECT_EQ(0, shell.open_apartments);

  shell.com_available = false;
  { const ComApartment com(shell); }
  EXPECT_EQ(0, shell.unbalanced_uninitializations);
}

}  // namespace
}  // namespace orvik
