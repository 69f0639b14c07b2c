#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "autoupdate/DescriptionFiles.h"

using namespace stub;

TEST(DescriptionFiles, NamedAfterTheSettingsField) {
  const struct {
    const char* field;
    const char* info;
    const char* original;
  } cases[] = {
      {"Product.info", "C:\\App\\Product.info", "C:\\App\\Product.original"},
      {"My.Product.info", "C:\\App\\My.Product.info", "C:\\App\\My.original"},
      {"\\\\server\\share\\Product.info", "C:\\App\\Product.info", "C:\\App\\Product.original"},
      {"D:Product", "C:\\App\\Product", "C:\\App\\Product.original"},
      // No file name: no file, rather than a read of the folder or of ".original".
      {"", "", ""},
      {"updates\\", "", ""},
      // "/" separates as "\" does: nothing above the folder, and no folder or device for a file.
      {"updates/../../Windows/win.ini", "C:\\App\\win.ini", "C:\\App\\win.original"},
      {"a/..", "", ""},
      {"...", "", ""},
      {"PRN", "", ""},
      {"updates\\CON.info", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_EQ(InfoFileIn("C:\\App\\", c.field), c.info);
    EXPECT_EQ(OriginalFileIn("C:\\App\\", c.field), c.original);
  }
}

TEST(DescriptionFiles, OnlyShortcutsInStartupAndProgramsAreRemoved) {
  const std::vector<std::string> folders = {
      "C:\\Users\\Ann\\Start Menu\\Programs\\Startup", "C:\\ProgramData\\Start Menu\\Programs\\",
      "",  // a folder the shell did not know
  };
  const struct {
    const char* path;
    bool removable;
  } cases[] = {
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup\\Product.lnk", true},
      {"c:\\users\\ann\\start menu\\programs\\startup\\PRODUCT.LNK", true},
      {"C:\\ProgramData\\Start Menu\\Programs\\Vendor\\Check for updates.lnk", true},
      // Not a shortcut, or outside those folders.
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup\\Product.exe", false},
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup\\Product.lnk.txt", false},
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup\\.lnk", false},
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup.lnk", false},
      {"C:\\Users\\Ann\\Desktop\\Product.lnk", false},
      {"C:\\Windows\\System32\\Product.lnk", false},
      {"Product.lnk", false},
      {"", false},
      // Ways to name another place with the folder's text in front.
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup\\..\\..\\..\\Desktop\\x.lnk", false},
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup\\.\\x.lnk", false},
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup/../../x.lnk", false},
      {"C:\\Users\\Ann\\Start Menu\\Programs\\StartupX\\x.lnk", false},
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup\\\\x.lnk", false},
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup\\x.lnk:Zone.Identifier", false},
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup\\x.exe::$DATA.lnk", false},
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup\\*.lnk", false},
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup\\x.lnk.", false},
      {"C:\\Users\\Ann\\Start Menu\\Programs\\Startup\\x.lnk ", false},
      {"\\\\?\\C:\\Users\\Ann\\Start Menu\\Programs\\Startup\\x.lnk", false},
      {"\\\\server\\share\\Start Menu\\Programs\\Startup\\x.lnk", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsRemovableShortcut(c.path, folders), c.removable) << c.path;
}
