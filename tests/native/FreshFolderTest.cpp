// The folders of a run are made where nothing was before: planted files, folders and links
// are never taken over, and a plain folder left by an earlier run is removed only when asked.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/FreshFolder.h"

using namespace stub;

namespace {

// A folder tree as names: what is under each path, which folders refuse removal, and the
// random numbers handed out in turn.
class PlantedTree : public FreshFolderHost {
 public:
  std::map<std::string, PathHolds> at;
  std::vector<std::string> stuck;     // plain folders whose removal fails (a file in use)
  std::vector<std::string> refusing;  // paths whose creation the system refuses
  std::vector<std::string> numbers{"11111", "22222", "33333"};
  std::vector<std::string> made, removed;

  MakeFolderResult MakeFolder(const std::string& path) override {
    for (const std::string& r : refusing)
      if (path.compare(0, r.size(), r) == 0) return MakeFolderResult::Failed;
    if (WhatIsAt(path) != PathHolds::Nothing) return MakeFolderResult::Exists;
    at[path] = PathHolds::PlainFolder;
    made.push_back(path);
    return MakeFolderResult::Created;
  }
  PathHolds WhatIsAt(const std::string& path) override {
    auto it = at.find(path);
    return it == at.end() ? PathHolds::Nothing : it->second;
  }
  bool RemoveFolder(const std::string& path) override {
    removed.push_back(path);
    for (const std::string& s : stuck)
      if (s == path) return false;
    at.erase(path);
    return true;
  }
  std::string RandomNumber() override { return numbers[asked++ % numbers.size()]; }
  void Log(const std::string&) override {}

  size_t asked = 0;  // random numbers handed out
};

}  // namespace

TEST(FreshFolder, NeverTakesOverWhatIsInTheWay) {
  const std::string name = "C:\\T\\SETUP_40315";
  const struct Case {
    const char* what;
    PathHolds planted;  // under the name; Nothing: nothing planted
    bool removeOld;
    bool stuck;
    const char* result;
    bool removed;  // the planted folder was removed
  } cases[] = {
      {"nothing there", PathHolds::Nothing, true, false, "C:\\T\\SETUP_40315", false},
      {"a folder left by an earlier run", PathHolds::PlainFolder, true, false, "C:\\T\\SETUP_40315", true},
      {"a folder that cannot be emptied", PathHolds::PlainFolder, true, true, "C:\\T\\SETUP_40315_11111", true},
      {"a folder, not to be removed", PathHolds::PlainFolder, false, false, "C:\\T\\SETUP_40315_11111", false},
      {"a file or a link", PathHolds::Other, true, false, "C:\\T\\SETUP_40315_11111", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PlantedTree tree;
    if (c.planted != PathHolds::Nothing) tree.at[name] = c.planted;
    if (c.stuck) tree.stuck.push_back(name);
    FreshFolderRequest request;
    request.name = name;
    request.removeOld = c.removeOld;
    request.alternatePrefix = name + "_";
    EXPECT_EQ(MakeFreshFolder(request, tree), c.result);
    // What the walk returns it made itself, and a planted file or link is still there.
    ASSERT_FALSE(tree.made.empty());
    EXPECT_EQ(tree.made.back(), c.result);
    EXPECT_EQ(tree.removed.size(), c.removed ? 1u : 0u);
    if (c.planted == PathHolds::Other) {
      EXPECT_EQ(tree.WhatIsAt(name), PathHolds::Other);
    }
  }
}

TEST(FreshFolder, TakenAlternatesAreSkippedAndARefusingParentEndsTheSearch) {
  PlantedTree tree;
  tree.at["C:\\TEMP"] = PathHolds::PlainFolder;
  tree.at["C:\\TEMP\\TEMP11111"] = PathHolds::Other;
  tree.at["C:\\TEMP\\TEMP22222"] = PathHolds::PlainFolder;
  FreshFolderRequest probe;
  probe.name = "C:\\TEMP";
  probe.alternatePrefix = "C:\\TEMP\\TEMP";
  EXPECT_EQ(MakeFreshFolder(probe, tree), "C:\\TEMP\\TEMP33333");
  EXPECT_TRUE(tree.removed.empty());

  // Every name taken: nothing, after the given number of tries.
  PlantedTree full;
  full.at["D:\\TEMP"] = PathHolds::Other;
  for (const char* n : {"11111", "22222", "33333"}) full.at[std::string("D:\\TEMP_") + n] = PathHolds::PlainFolder;
  FreshFolderRequest work;
  work.name = "D:\\TEMP";
  work.removeOld = true;
  work.alternatePrefix = "D:\\TEMP_";
  work.alternates = 5;
  EXPECT_EQ(MakeFreshFolder(work, full), "");
  EXPECT_TRUE(full.made.empty());
  EXPECT_EQ(full.asked, 5u);

  // A drive that takes no folder at all is not asked twenty times.
  PlantedTree locked;
  locked.refusing.push_back("E:\\");
  probe.name = "E:\\TEMP";
  probe.alternatePrefix = "E:\\TEMP\\TEMP";
  EXPECT_EQ(MakeFreshFolder(probe, locked), "");
  EXPECT_EQ(locked.asked, 1u);
}
