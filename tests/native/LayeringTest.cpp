// The folders of src/ include one another in one direction only: support <- ui <- inet <-
// package <- autoupdate <- stub. The setup driver reaches the window through an interface the
// window passes in, never by including it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace fs = std::filesystem;

TEST(Layering, IncludesPointDownOnly) {
  const std::map<std::string, int> rank = {{"support", 0}, {"ui", 1},         {"inet", 2},
                                           {"package", 3}, {"autoupdate", 4}, {"stub", 5}};
  const std::string include = "#include \"";
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(STUB_SOURCE_DIR) / "src")) {
    if (!entry.is_regular_file()) continue;
    const std::string folder = entry.path().parent_path().filename().string();
    ASSERT_TRUE(rank.count(folder)) << "a folder without a place in the order: " << folder;
    ++files;
    std::ifstream in(entry.path());
    std::string line;
    while (std::getline(in, line)) {
      if (line.compare(0, include.size(), include) != 0) continue;
      const std::string target = line.substr(include.size(), line.find('/') - include.size());
      if (!rank.count(target)) continue;  // a header of the same folder's tools, or none of ours
      EXPECT_LE(rank.at(target), rank.at(folder)) << entry.path().string() << ": " << line;
    }
  }
  EXPECT_GT(files, 20);
}
