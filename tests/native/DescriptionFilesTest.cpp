#include <gtest/gtest.h>

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
