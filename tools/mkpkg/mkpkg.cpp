// mkpkg: writes test packages with the package writer.
//
//   mkpkg --stub STUB.exe --out OUT.exe [options]
//     --lang "English|s0=Title|Charset=0"   a language section (repeatable; name first)
//     --update-url U --info-file F --agent-file A --token CLEAR --hide
//     --settings TEXT                        the settings record as given (overrides the above)
//     --file REL=SOURCE                      a file of the package (repeatable)
//     --main REL [--main-args TEXT]          marks the program to launch
//     --date N                               packed DOS date-time of every file
//     --announce-temp --more-disks --run-from-temp-copy --show-activity-bar --log
//     --make-agent-copy --internet --ask-before-download
//     --agent-copy                           write the agent copy of the package instead
//     --level N                              zlib level, 0 stores
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "PackageWriter.h"
#include "package/PackageLayout.h"
#include "package/Token.h"
#include "support/VSUB.h"

using namespace stub;

static bool ReadWhole(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return true;
}

static int Usage(const char* why) {
  std::fprintf(stderr, "mkpkg: %s\n", why);
  return 2;
}

int main(int argc, char** argv) {
  PackageSpec recipe;
  std::vector<PackageFile> files;
  std::vector<std::string> sections;
  std::string stubPath, outPath, settings, mainPath, mainArgs;
  std::string fields[5];
  bool settingsGiven = false, agentCopy = false;
  uint32_t date = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&](std::string& v) {
      if (i + 1 >= argc) return false;
      v = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--stub" && next(v)) stubPath = v;
    else if (a == "--out" && next(v)) outPath = v;
    else if (a == "--lang" && next(v)) {
      std::string name = v.substr(0, v.find('|'));
      std::vector<std::string> entries;
      size_t at = v.find('|');
      while (at != std::string::npos) {
        size_t end = v.find('|', at + 1);
        entries.push_back(v.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1));
        at = end;
      }
      sections.push_back(LanguageSection(name, entries));
    } else if (a == "--update-url" && next(v)) fields[0] = v;
    else if (a == "--info-file" && next(v)) fields[1] = v;
    else if (a == "--agent-file" && next(v)) fields[2] = v;
    else if (a == "--token" && next(v)) fields[3] = ScrambleToken(v, 7);
    else if (a == "--hide") fields[4] = "1";
    else if (a == "--settings" && next(v)) { settings = v; settingsGiven = true; }
    else if (a == "--file" && next(v)) {
      size_t eq = v.find('=');
      if (eq == std::string::npos) return Usage("--file wants REL=SOURCE");
      PackageFile f;
      f.path = v.substr(0, eq);
      if (!ReadWhole(v.substr(eq + 1), f.data)) return Usage(("cannot read " + v.substr(eq + 1)).c_str());
      files.push_back(f);
    } else if (a == "--main" && next(v)) mainPath = v;
    else if (a == "--main-args" && next(v)) mainArgs = v;
    else if (a == "--date" && next(v)) date = static_cast<uint32_t>(std::strtoul(v.c_str(), nullptr, 0));
    else if (a == "--announce-temp") recipe.flags |= kFlagAnnounceTempExtraction;
    else if (a == "--more-disks") recipe.flags |= kFlagMoreDisks;
    else if (a == "--run-from-temp-copy") recipe.flags |= kFlagRunFromTempCopy;
    else if (a == "--show-activity-bar") recipe.flags |= kFlagShowActivityBar;
    else if (a == "--log") recipe.flags |= kFlagLog;
    else if (a == "--make-agent-copy") recipe.makeAgentCopy = true;
    else if (a == "--internet") recipe.internetPackage = true;
    else if (a == "--ask-before-download") recipe.askBeforeDownload = true;
    else if (a == "--agent-copy") agentCopy = true;
    else if (a == "--level" && next(v)) recipe.level = std::atoi(v.c_str());
    else return Usage(("unknown or incomplete option " + a).c_str());
  }
  if (stubPath.empty() || outPath.empty()) return Usage("--stub and --out are required");
  if (!ReadWhole(stubPath, recipe.stub)) return Usage(("cannot read " + stubPath).c_str());
  for (PackageFile& f : files) {
    f.dosDateTime = date;
    if (!mainPath.empty() && f.path == mainPath) {
      f.main = true;
      f.mainArgs = mainArgs;
    }
  }
  recipe.languageBlock = sections.empty() ? std::string() : LanguageBlockOf(sections);
  recipe.settingsRecord = settingsGiven ? settings : SubJoin('|', fields, 5);
  std::string package = BuildPackage(recipe, files);
  if (agentCopy) package = BuildAgentCopy(package);
  std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
  out.write(package.data(), static_cast<std::streamsize>(package.size()));
  if (!out) return Usage(("cannot write " + outPath).c_str());
  return 0;
}
