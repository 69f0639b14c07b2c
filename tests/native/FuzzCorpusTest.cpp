// The fuzz targets' seeds replayed under the native sanitizers: every target has seeds and
// every seed runs, the package seeds reach the end of the extraction walk (so the fuzzer
// starts deep in it), and the rule the extraction target checks every path against.
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <set>
#include <sstream>

#include "FuzzTargets.h"

using namespace stubfuzz;
using stub::ExtractOutcome;

namespace {

const std::string kCorpus = std::string(STUB_SOURCE_DIR) + "/tests/fuzz/corpus";

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* e = readdir(dir))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(dir);
  }
  return names;
}

std::string ReadSeed(const std::string& target, const std::string& name) {
  std::ifstream in(kCorpus + "/" + target + "/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(FuzzCorpus, EveryTargetHasSeedsAndEverySeedRuns) {
  std::set<std::string> named;
  for (const FuzzTarget& target : FuzzTargets()) {
    named.insert(target.name);
    const std::vector<std::string> seeds = Entries(kCorpus + "/" + target.name);
    EXPECT_FALSE(seeds.empty()) << target.name;
    for (const std::string& seed : seeds) {
      const std::string bytes = ReadSeed(target.name, seed);
      target.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
  }
  // The fuzz build makes one binary per seed folder: each must name a target.
  for (const std::string& folder : Entries(kCorpus)) EXPECT_TRUE(named.count(folder)) << folder;
}

TEST(FuzzCorpus, PackageSeedsRunTheWholeExtraction) {
  const std::string dest = std::string(kDestination) + "\\";
  const std::set<std::string> setupFiles = {dest + "Engine.exe", dest + "data\\readme.txt", dest + "empty.txt"};
  std::set<std::string> withAgent = setupFiles;
  withAgent.insert(dest + "Agent.exe");
  struct Case {
    const char* seed;
    ExtractOutcome outcome;
    std::set<std::string> written;
    const char* mainFile;
  } cases[] = {
      {"one_file_with_agent", ExtractOutcome::Completed, withAgent, "Engine.exe*/L=1"},
      {"stored", ExtractOutcome::Completed, setupFiles, "Engine.exe*/L=1"},
      {"three_disks", ExtractOutcome::Completed, setupFiles, "Engine.exe*/L=1"},
      {"missing_disk_unattended", ExtractOutcome::MissingDisk, {}, ""},
      {"hostile_paths", ExtractOutcome::Completed, {dest + "fine.txt"}, "fine.txt*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seed);
    const std::string bytes = ReadSeed("extraction", c.seed);
    ASSERT_FALSE(bytes.empty());
    const ExtractionRun run = RunExtractionInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(stub::OutcomeName(c.outcome), std::string(stub::OutcomeName(run.outcome)));
    EXPECT_EQ(c.mainFile, run.mainFile);
    std::set<std::string> written;
    for (const auto& file : run.written) written.insert(file.first);
    // The disk that is missing stops the walk after the first disk's files.
    if (c.outcome != ExtractOutcome::MissingDisk) {
      EXPECT_EQ(c.written, written);
    }
    if (run.written.count(dest + "data\\readme.txt") && c.outcome == ExtractOutcome::Completed) {
      EXPECT_EQ("Read me, twice. Read me, twice. Read me, twice.", run.written.at(dest + "data\\readme.txt"));
    }
  }
}

TEST(FuzzCorpus, StaysInsideResolvesPathsAsWindowsDoes) {
  const std::string d = "C:\\D";
  struct Case {
    const char* path;
    bool inside;
  } cases[] = {
      {"C:\\D\\a.txt", true},          {"C:\\D\\a\\..\\b.txt", true},  {"C:\\D\\a/b\\.\\c", true},
      {"C:\\D\\..\\x", false},         {"C:\\D\\a\\..\\..\\x", false}, {"C:\\D\\a/../../x", false},
      {"C:\\D\\...\\x", false},        {"C:\\D\\.. \\x", false},       {"C:\\D\\a:s", false},
      {"C:\\D\\CON.txt", false},       {"C:\\D\\a\\lpt1", false},      {"C:\\D", false},
      {"C:\\D\\", false},              {"C:\\D\\.", false},            {"C:\\DX\\a", false},
      {"C:\\D\\CONFIG.SYS", true},
  };
  for (const Case& c : cases) EXPECT_EQ(c.inside, StaysInside(d, c.path)) << c.path;
}
