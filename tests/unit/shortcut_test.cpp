#include "shell/shortcut.h"

#include <gtest/gtest.h>

#include "unit/fakes.h"

namespace orvik {
namespace {

using Calls = std::vector<std::string>;
using testing::FakeShell;

void CreateOrvikShortcut(FakeShell& shell) {
  CreateShortcut(shell, "c:\\orvik8\\orvik8.exe", "orvik8.lnk", "c:\\orvik8",
                 "Orvik 8.0 (Ostmarrow)", ShortcutPlace::kUserDesktop);
}

TEST(Shortcut, SetsThreePropertiesInOrderSavesAndReleasesBoth) {
  FakeShell shell;
  shell.folder = "D:\\Desk";
  CreateOrvikShortcut(shell);
  EXPECT_EQ((Calls{"DesktopFolder user", "CoCreateInstance ShellLink",
                   "SetPath c:\\orvik8\\orvik8.exe",
                   "SetWorkingDirectory c:\\orvik8",
                   "SetDescription Orvik 8.0 (Ostmarrow)",
                   "QueryInterface IPersistFile",
                   "Save D:\\Desk\\orvik8.lnk TRUE", "Release IPersistFile",
                   "Release IShellLinkA"}),
            shell.calls);
}

TEST(Shortcut, FolderEndingInBackslashIsNotNormalised) {
  FakeShell shell;
  shell.folder = "C:\\";
  CreateOrvikShortcut(shell);
  EXPECT_EQ("Save C:\\\\orvik8.lnk TRUE", shell.calls[6]);
}

TEST(Shortcut, NothingSavedWhenAStepFails) {
  FakeShell unresolved;
  unresolved.folder.clear();
  CreateOrvikShortcut(unresolved);
  EXPECT_EQ((Calls{"DesktopFolder user"}), unresolved.calls)
      << "no link at the root of the current drive";

  FakeShell no_object;
  no_object.can_create_link = false;
  CreateOrvikShortcut(no_object);
  EXPECT_EQ("CoCreateInstance ShellLink", no_object.calls.back());

  FakeShell no_persist;
  no_persist.has_persist_file = false;
  CreateOrvikShortcut(no_persist);
  EXPECT_EQ("QueryInterface IPersistFile", no_persist.calls[5]);
  EXPECT_EQ("Release IShellLinkA", no_persist.calls.back());
  EXPECT_EQ(7u, no_persist.calls.size());
}

TEST(Shortcut, OverLongPathsMakeNoShortcut) {
  FakeShell long_folder;
  long_folder.folder = "C:\\" + std::string(246, 'd');  // link path: 260
  CreateOrvikShortcut(long_folder);
  EXPECT_EQ(1u, long_folder.calls.size());

  FakeShell long_target;
  CreateShortcut(long_target, "c:\\" + std::string(257, 't'), "orvik8.lnk",
                 "c:\\x", "d", ShortcutPlace::kUserDesktop);
  EXPECT_EQ(1u, long_target.calls.size());

  FakeShell fits;
  fits.folder = "C:\\" + std::string(245, 'd');  // link path: 259
  CreateOrvikShortcut(fits);
  EXPECT_EQ("Save " + fits.folder + "\\orvik8.lnk TRUE", fits.calls[6]);
}

}  // namespace
}  // namespace orvik
