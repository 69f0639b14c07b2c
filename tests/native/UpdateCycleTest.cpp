#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "autoupdate/AgentControl.h"
#include "autoupdate/AgentOverrides.h"
#include "autoupdate/AgentSchedule.h"
#include "autoupdate/UpdateCycle.h"
#include "inet/HttpText.h"
#include "package/Token.h"

using namespace stub;

namespace {

// INI files in memory, read the way the system reads them: sections and keys ignore case,
// values are trimmed and lose one pair of quotes, the first of two equal keys wins, a value
// is cut to the 10240 characters of the read buffer.
class MemoryIni : public IniAccess {
 public:
  std::map<std::string, std::string> files;  // path -> text
  int writes = 0;

  std::string Read(const std::string& file, const char* section, const char* key, const std::string& def) override {
    auto it = files.find(file);
    if (it == files.end()) return def;
    std::string current;
    size_t pos = 0;
    const std::string& text = it->second;
    while (pos <= text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string line = Trim(text.substr(pos, end - pos));
      pos = end + 1;
      if (line.size() >= 2 && line[0] == '[' && line.back() == ']') {
        current = line.substr(1, line.size() - 2);
        continue;
      }
      size_t eq = line.find('=');
      if (eq == std::string::npos || !SameText(current, section) || !SameText(Trim(line.substr(0, eq)), key))
        continue;
      std::string value = Trim(line.substr(eq + 1));
      if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
      if (value.size() > 10240) value.resize(10240);
      return value.empty() ? def : value;
    }
    return def;
  }
  void Write(const std::string& file, const char* section, const char* key, const std::string& value) override {
    ++writes;
    std::string& text = files[file];
    // Appended as a new section: read the latest value first by putting it in front.
    text = "[" + std::string(section) + "]\n" + key + "=" + value + "\n" + text;
  }
};

const char kFolder[] = "C:\\App\\";
const char kInfo[] = "C:\\App\\Product.info";
const char kOriginal[] = "C:\\App\\Product.original";

// A world for the cycle: files, a web server, a clock, answers to the boxes; every box,
// notification, log line and hand-over is recorded in order.
class FakeHost : public AgentHost {
 public:
  MemoryIni ini;
  std::map<std::string, std::string> disk;  // path -> content (the .info and .original live in ini)
  std::map<std::string, std::string> web;   // url -> body
  std::map<std::string, int32_t> webSize;   // url -> announced length, when it differs from the body
  std::map<std::string, std::string> webError;  // url -> the download's error text
  std::vector<std::string> events;
  std::vector<std::string> log;
  std::vector<std::string> requests;
  CivilTime now;
  uint32_t tick = 100000;
  std::string location = "http://server/upd";
  std::map<std::string, std::string> registry;
  bool connected = true;
  bool confirm = true;
  bool developer = false;
  bool abort = false;
  std::string agentToken = ScrambleToken("TOKEN-1", 3);
  std::map<std::string, std::string> packageTokens;  // path -> scrambled token
  bool updateResult = false;
  int registryReads = 0;

  FakeHost() {
    now.year = 2026;
    now.month = 12;
    now.day = 5;
    now.hour = 22;
    now.minute = 41;
    now.second = 7;
  }
  void Put(const std::string& path, const std::string& text) { ini.files[path] = text; }
  int64_t Seconds() const { return AgentSeconds(now); }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const std::string& e : events) n += e.compare(0, prefix.size(), prefix) == 0;
    return n;
  }
  bool Logged(const std::string& line) const {
    for (const std::string& l : log)
      if (l == line) return true;
    return false;
  }

  CivilTime Now() override { return now; }
  uint32_t TickCount() override { return tick; }
  DescriptionFiles files{ini, kInfo, kOriginal};
  DescriptionFiles& Descriptions() override { return files; }
  std::string UpdateLocation() override { return location; }
  std::string AgentFolder() override { return kFolder; }
  std::string TestModeValue(const char* name, const char* def) override {
    ++registryReads;
    auto it = registry.find(name);
    return it == registry.end() ? def : it->second;
  }
  bool DeveloperMode() override { return developer; }

  bool FileExists(const std::string& path) override { return disk.count(path) || ini.files.count(path); }
  int64_t FileSize(const std::string& path) override {
    return disk.count(path) ? static_cast<int64_t>(disk[path].size()) : -1;
  }
  bool ReadFile(const std::string& path, std::string& content) override {
    if (ini.files.count(path)) content = ini.files[path];
    else if (disk.count(path)) content = disk[path];
    else return false;
    return true;
  }
  bool PutFile(const std::string& path, const std::string& content) override {
    events.push_back("write " + path);
    if (EndsWithText(".info", path, true)) ini.files[path] = content;
    else disk[path] = content;
    return true;
  }
  void RemoveFile(const std::string& path) override {
    events.push_back("remove " + path);
    disk.erase(path);
  }

  bool IsInternetConnected(std::string& errorText) override {
    if (!connected) errorText = "The network is down.";
    return connected;
  }
  int32_t HttpFileSize(const std::string& url) override {
    requests.push_back("HEAD " + url);
    if (webSize.count(url)) return webSize[url];
    return web.count(url) ? static_cast<int32_t>(web[url].size()) : -1;
  }
  std::string HttpDownload(const std::string& url, const std::string& destination, std::string& data,
                           bool showWindow) override {
    requests.push_back("GET " + url + (showWindow ? " (window)" : ""));
    data.clear();
    if (webError.count(url)) return webError[url];
    if (!web.count(url)) return RemoteFileName(url) + " --- Error downloading file";
    if (destination.empty()) data = web[url];
    else disk[destination] = web[url];
    return std::string();
  }
  bool DownloadAbortRequested() override { return abort; }
  std::string ErrorPageText(const std::string& file, const std::string& content, const std::string& url,
                            const std::string& def) override {
    std::string text = content;
    if (!file.empty()) ReadFile(file, text);
    return text.find("<title>404") != std::string::npos ? "404 at " + url : def;
  }
  std::string AgentToken() override { return agentToken; }
  std::string PackageToken(const std::string& path) override { return packageTokens[path]; }

  void ShowStubWindow(bool show) override { events.push_back(show ? "show" : "hide"); }
  void SetStatusText(const std::string& text) override { events.push_back("status " + text); }
  void ShowLocalCopyProgress() override { events.push_back("local progress"); }
  void WaitPumping(unsigned) override {}
  // The boxes as the agent's host shows them, with [MsgBox] of the .original file.
  void SetMsgBoxFont() override { events.push_back("font " + files.BoxStyle().fontName); }
  void MsgError(int ownerMode, const std::string& text) override {
    events.push_back("box " + files.BoxStyle().error + " " + std::to_string(ownerMode) + " " + text);
  }
  void MsgAttention(int ownerMode, const std::string& text) override {
    events.push_back("box " + files.BoxStyle().attention + " " + std::to_string(ownerMode) + " " + text);
  }
  bool MsgConfirm(int ownerMode, const std::string& text) override {
    events.push_back("box " + files.BoxStyle().confirm + " " + std::to_string(ownerMode) + " " + text);
    return confirm;
  }
  void Notify(uint32_t code, intptr_t value) override {
    events.push_back("notify " + std::to_string(code) + " " + std::to_string(value));
  }
  void DebugPidLine(const std::string& text) override { events.push_back("debug" + text); }
  void DebugLine(const std::string& text) override { events.push_back("line " + text); }
  void Log(const std::string& text) override { log.push_back(text); }
  void PostQuit() override { events.push_back("quit"); }
  bool PerformAutoUpdate() override {
    events.push_back("PerformAutoUpdate");
    return updateResult;
  }
  bool PerformAutoInform() override {
    events.push_back("PerformAutoInform");
    return true;
  }
  void ReStartAutoUpdateExe() override { events.push_back("ReStartAutoUpdateExe"); }
};

// An installed version 3 that probes every tick, and a version 4 of 5000 bytes on the server.
const char kOriginalText[] =
    "[OriginalSetup]\nProbeSecondsInterval=-5\nVersionOriginal=3\nStamp=10\nProgramName=Product\n"
    "[MsgBox]\nConfirm=Question\n[AutoUpdate]\ns21=Nothing new.\n";
const char kInfoText[] =
    "[NewSetup]\nDownloadURL_UPDATE=http://server/upd\nNameOfUpdateFile=Setup.exe\nSizeOfUpdateFile=5000\n"
    "VersionNew=4\nStamp=11\n";

class UpdateCycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AgentState() = AgentControlState();
    ResetOverridesForTesting();
    host.Put(kOriginal, kOriginalText);
    host.web["http://server/upd/Product.info"] = kInfoText;
    host.web["http://server/upd/Setup.exe"] = std::string(5000, 'x');
  }
  void TearDown() override {
    AgentState() = AgentControlState();
    ResetOverridesForTesting();
  }
  std::string Original(const char* key) { return host.ini.Read(kOriginal, "OriginalSetup", key, "-"); }
  FakeHost host;
  UpdateCycle cycle{host};
};

}  // namespace

TEST(AgentSeconds, CountsFromTheLastDaysOf1899) {
  CivilTime t;  // 1899-12-30 00:00
  EXPECT_EQ(AgentSeconds(t), 0);
  t.year = 2025, t.month = 1, t.day = 1;
  EXPECT_EQ(AgentSeconds(t), 45658LL * 86400);
  EXPECT_EQ(DateTimeText(CivilOfAgentSeconds(45658LL * 86400)), "01-JAN-2025 00:00:00");
  t.hour = 23, t.minute = 59, t.second = 59, t.millisecond = 500;  // rounds to the next day
  EXPECT_EQ(DateTimeText(CivilOfAgentSeconds(AgentSeconds(t))), "02-JAN-2025 00:00:00");
  EXPECT_EQ(DateTimeText(CivilOfAgentSeconds(-1)), "29-DEC-1899 23:59:59");
  EXPECT_EQ(DateTimeText(CivilOfAgentSeconds(60LL * 86400 + 3661)), "28-FEB-1900 01:01:01");
  for (int64_t s : {int64_t(0), int64_t(-86400 * 700000LL), int64_t(4102444800LL), int64_t(12345678901LL)})
    EXPECT_EQ(AgentSeconds(CivilOfAgentSeconds(s)), s) << s;
}

TEST(ShotStatus, TheSchedule) {
  const int64_t now = 1000000;
  struct Case {
    bool active, forced, testMode;
    int64_t interval, last;
    int status;
  } cases[] = {
      {true, false, false, 60, now - 60, 1},   // due at the very second (>=)
      {true, false, false, 60, now - 59, 0},
      {true, false, false, 0, now, 2},         // the one probe of a run
      {false, false, false, 0, 0, 0},          // ... after which none
      {false, true, false, 0, 0, 1},           // unless forced
      {true, false, false, -1, 0, 0},          // never
      {true, true, false, -1, 0, 1},           // forced still probes
      {true, false, false, -5, now, 1},        // other negatives: every tick
      {true, false, true, 3600, now - 5, 1},   // test mode probes every 5 s
      {true, false, true, 3600, now - 4, 0},
      {true, false, false, INT64_MAX, now, 0}, // no wrap into "due"
  };
  for (const Case& c : cases) {
    ShotFacts f;
    f.probingActive = c.active, f.shotForced = c.forced, f.testModeActive = c.testMode;
    f.probeInterval = c.interval, f.probeLast = c.last, f.now = now;
    EXPECT_EQ(ShotStatus(f), c.status) << c.interval << " " << c.last;
  }
}

TEST(UpdateCheck, CodesInTheOrderOfTheirTests) {
  UpdateFacts base;
  base.infoFetched = true, base.versionOriginal = 3, base.stampOriginal = 10, base.stampNew = 11;
  base.versionNew = 4, base.now = 1000;
  struct Case {
    const char* what;
    UpdateFacts facts;
    int code;
  };
  std::vector<Case> cases;
  auto with = [&](const char* what, int code, auto change) {
    UpdateFacts f = base;
    change(f);
    cases.push_back({what, f, code});
  };
  with("all passes", 5, [](UpdateFacts&) {});
  with("not fetched", 0, [](UpdateFacts& f) { f.infoFetched = false; });
  with("no .original", 1, [](UpdateFacts& f) { f.versionOriginal = 0; });
  with("same stamp", 2, [](UpdateFacts& f) { f.stampNew = 10; });
  with("same stamp, re-ask due", 5, [](UpdateFacts& f) { f.stampNew = 10, f.reAskLast = 899, f.reAskInterval = 100; });
  with("same stamp, re-ask at now", 2, [](UpdateFacts& f) { f.stampNew = 10, f.reAskLast = 900, f.reAskInterval = 100; });
  with("same stamp, re-ask 0", 2, [](UpdateFacts& f) { f.stampNew = 10, f.reAskLast = -5000; });
  with("same stamp, test cycle", 5, [](UpdateFacts& f) { f.stampNew = 10, f.testCycle = true; });
  with("same version", 3, [](UpdateFacts& f) { f.versionNew = 3; });
  with("listed", 5, [](UpdateFacts& f) { f.validVersions = "1,3,7"; });
  with("commas delimit", 4, [](UpdateFacts& f) { f.versionOriginal = 34, f.versionNew = 40, f.validVersions = "3,4"; });
  for (const Case& c : cases) EXPECT_EQ(CheckBeforeSize(c.facts), c.code) << c.what;

  EXPECT_EQ(UpdateCheckText(4), "\"Valid for version\" mismatch");
  EXPECT_EQ(UpdateCheckText(3), "New version is not higher then old version");
  EXPECT_TRUE(SizeMatches(5099, 5000));
  EXPECT_FALSE(SizeMatches(5100, 5000));
  EXPECT_TRUE(SizeMatches(0, 99));
  EXPECT_FALSE(SizeMatches(-1, 0));  // nothing measured is no pass
}

TEST_F(UpdateCycleTest, AProbeFetchesTheDescriptionRecordsTheTimeAndHandsOver) {
  cycle.PerformShot();
  EXPECT_EQ(host.ini.files[kInfo], kInfoText);
  const int64_t now = host.Seconds();
  EXPECT_EQ(Original("ProbeSecondsLast"), std::to_string(now));
  EXPECT_EQ(Original("__ProbeSecondsLast"), "05-DEC-2026 22:41:07");
  EXPECT_EQ(Original("ReAskSecondsLast"), std::to_string(now));
  EXPECT_EQ(Original("Stamp"), "11");
  EXPECT_TRUE(host.Logged("GetOkToPerformAU = 6 - OK"));
  EXPECT_EQ(host.requests, (std::vector<std::string>{"GET http://server/upd/Product.info",
                                                      "HEAD http://server/upd/Setup.exe"}));
  // Notifications around the fetch; the update follows the check.
  std::vector<std::string> order;
  for (const std::string& e : host.events)
    if (e.rfind("notify", 0) == 0 || e == "PerformAutoUpdate" || e.rfind("debug ====", 0) == 0) order.push_back(e);
  EXPECT_EQ(order, (std::vector<std::string>{"notify 40 1", "notify 40 2", "debug ==== PerformShot-1 ====",
                                              "PerformAutoUpdate", "debug ==== PerformShot-2 ===="}));
  EXPECT_EQ(host.Count("ReStartAutoUpdateExe"), 0);
  host.updateResult = true;
  host.web["http://server/upd/Product.info"] =
      "[General]\nAutoInform=1\n[AutoInform]\nNameOfInformFile=News.txt\nSizeOfInformFile=3\n"
      "[NewSetup]\nDownloadURL_UPDATE=http://server/upd\nVersionNew=4\nStamp=12\n";
  host.web["http://server/upd/News.txt"] = "abc";
  cycle.PerformShot();
  EXPECT_EQ(host.Count("PerformAutoInform"), 1);
  EXPECT_EQ(host.Count("PerformAutoUpdate"), 1);  // an announcement is no update
}

TEST_F(UpdateCycleTest, AFailedFetchKeepsTheLastGoodDescription) {
  const std::string good = "[NewSetup]\nVersionNew=9\n";
  const std::string url = "http://server/upd/Product.info";
  struct Case {
    const char* what;
    const char* body;
    const char* error;
  } cases[] = {
      {"error page", "<html><head><title>404 Not Found</title></head></html>", ""},
      {"empty", "", ""},
      {"cut short", "[NewSetup]\nVers", "Product.info --- Error downloading file (3 bytes short)"},
  };
  for (const Case& c : cases) {
    host.Put(kInfo, good);
    host.web[url] = c.body;
    if (*c.error) host.webError[url] = c.error;
    host.log.clear();
    cycle.PerformShot();
    EXPECT_EQ(host.ini.files[kInfo], good) << c.what;
    EXPECT_TRUE(host.Logged("GetOkToPerformAU = 0 - Error downloading .INFO file")) << c.what;
    EXPECT_EQ(Original("ProbeSecondsLast"), std::to_string(host.Seconds())) << c.what;
    EXPECT_EQ(Original("Stamp"), "10") << c.what;
    host.webError.clear();
  }
  EXPECT_EQ(host.Count("PerformAutoUpdate"), 0);
}

TEST_F(UpdateCycleTest, SizeTestMeasuresOnTheServerOrInTheFolder) {
  int code = 0;
  std::string text;
  host.Put(kInfo, kInfoText);
  host.webSize["http://server/upd/Setup.exe"] = 5100;
  EXPECT_FALSE(cycle.GetOkToPerformAU(true, code, text));
  EXPECT_EQ(code, 5);
  EXPECT_EQ(text, "Download file size error");
  const std::vector<std::string> lines(host.log.end() - 4, host.log.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"  InfoSize=5000", "  HttpSize=5100", "  URL=http://server/upd/Setup.exe",
                                             "GetOkToPerformAU = 5 - Download file size error"}));
  // A server that gives no length is no pass, nor is a missing connection.
  host.webSize["http://server/upd/Setup.exe"] = -1;
  EXPECT_FALSE(cycle.GetOkToPerformAU(true, code, text));
  host.webSize.clear();
  host.connected = false;
  EXPECT_FALSE(cycle.GetOkToPerformAU(true, code, text));
  EXPECT_TRUE(host.Logged("  HttpSize=-1"));
  // A local folder is measured on disk; the name is reduced to its file-name part first.
  host.Put(kInfo, "[NewSetup]\nDownloadURL_UPDATE=D:\\upd\nNameOfUpdateFile=..\\..\\Setup.exe\nSizeOfUpdateFile=20\n"
                  "VersionNew=4\nStamp=11\n");
  host.disk["D:\\upd\\Setup.exe"] = std::string(119, 'x');
  EXPECT_TRUE(cycle.GetOkToPerformAU(true, code, text));
  // An announcement measures the inform file.
  host.Put(kInfo, "[General]\nAutoInform=01\n[AutoInform]\nNameOfInformFile=News.txt\nSizeOfInformFile=3\n"
                  "[NewSetup]\nDownloadURL_UPDATE=D:\\upd\nVersionNew=4\nStamp=11\n");
  host.disk["D:\\upd\\News.txt"] = "abc";
  EXPECT_TRUE(cycle.GetOkToPerformAU(true, code, text));
}

TEST_F(UpdateCycleTest, OddDescriptionFilesGiveDefaultsAndCodes) {
  int code = -1;
  std::string text;
  struct Case {
    const char* what;
    const char* original;
    const char* info;
    int code;
  } cases[] = {
      {"no sections", "VersionOriginal=3\n", kInfoText, 1},
      {"keys with blanks", "[OriginalSetup]\n  VersionOriginal =  3 \n Stamp = 10\n", kInfoText, 6},
      {"quoted, malformed", "[OriginalSetup]\nVersionOriginal=\"3\"\nStamp=x\n", kInfoText, 6},
      {"first key wins", "[OriginalSetup]\nVersionOriginal=3\nVersionOriginal=9\nStamp=10\n", kInfoText, 6},
      {"html", "<html><body>[OriginalSetup]</body></html>", kInfoText, 1},
      {"empty info", kOriginalText, "", 3},
  };
  for (const Case& c : cases) {
    host.Put(kOriginal, c.original);
    host.Put(kInfo, c.info);
    cycle.GetOkToPerformAU(true, code, text);
    EXPECT_EQ(code, c.code) << c.what;
  }
  // A version list longer than the read buffer is cut there: the version behind the cut is
  // not seen.
  host.Put(kOriginal, kOriginalText);
  host.Put(kInfo, std::string(kInfoText) + "ValidVersions=" + std::string(10240, '1') + ",3\n");
  cycle.GetOkToPerformAU(true, code, text);
  EXPECT_EQ(code, 4);
}

TEST_F(UpdateCycleTest, UpdateAndInformFilesMustCarryTheAgentsToken) {
  std::string error;
  const std::string setup = std::string(kFolder) + "Setup.exe";
  host.packageTokens[setup] = ScrambleToken("TOKEN-1", 9);
  EXPECT_TRUE(cycle.DownloadFileAU("http://server/upd", "..\\..\\Setup.exe", kDownloadUpdate, error));
  EXPECT_EQ(host.requests.back(), "GET http://server/upd/Setup.exe");
  EXPECT_TRUE(host.disk.count(setup));

  host.packageTokens[setup] = ScrambleToken("TOKEN-2", 9);
  EXPECT_FALSE(cycle.DownloadFileAU("http://server/upd", "Setup.exe", kDownloadUpdate, error));
  EXPECT_FALSE(host.disk.count(setup));
  EXPECT_EQ(host.events.back(), "box Error 0 Bad Secret Token!");
  EXPECT_TRUE(host.Logged("ERROR: Bad Secret Token!"));

  // An inform file names its token in the second part; a malformed one matches nothing.
  host.web["http://server/upd/News.txt"] = "x|" + ScrambleToken("TOKEN-1", 5) + "|a|b|News <b>here</b>";
  EXPECT_TRUE(cycle.DownloadFileAU("http://server/upd", "News.txt", kDownloadInform, error));
  host.web["http://server/upd/News.txt"] = "x|zz|a|b|News";
  EXPECT_FALSE(cycle.DownloadFileAU("http://server/upd", "News.txt", kDownloadInform, error));
  host.agentToken = "";  // an agent without a token accepts nothing
  host.web["http://server/upd/News.txt"] = "x|" + ScrambleToken("", 5) + "|a|b|News";
  EXPECT_FALSE(cycle.DownloadFileAU("http://server/upd", "News.txt", kDownloadInform, error));
}

TEST_F(UpdateCycleTest, FailedUpdateDownloadsAreShownOnlyWhenTheUserWasAsked) {
  std::string error;
  host.Put(kInfo, "[NewSetup]\nRequestConfirmationBeforeDownload=1\n[AutoUpdate]\n");
  host.Put(kOriginal, "[AutoUpdate]\ns5=Cannot fetch.\n");
  struct Case {
    const char* base;
    bool abort;
    const char* box;
  } cases[] = {
      {"http://server/none", false, "box Attention 0 Cannot fetch.<P><P>http://server/none/Setup.exe"},
      {"D:\\none", false, "box Attention 0 File not Found!<P><P>D:\\none/Setup.exe"},
      {"\\\\host\\share", false, "box Attention 0 File not Found!<P><P>\\\\host\\share/Setup.exe"},
      {"http://server/none", true, "box Attention 0 File Download Aborted!"},
  };
  for (const Case& c : cases) {
    host.abort = c.abort;
    host.events.clear();
    EXPECT_FALSE(cycle.DownloadFileAU(c.base, "Setup.exe", kDownloadUpdate, error));
    EXPECT_EQ(host.events.back(), c.box);
    EXPECT_EQ(host.Count("show"), 1);  // the window shows while the user waits for the file
  }
  // Without the question the failure stays in the log.
  host.Put(kInfo, "[NewSetup]\n");
  host.events.clear();
  EXPECT_FALSE(cycle.DownloadFileAU("http://server/none", "Setup.exe", kDownloadUpdate, error));
  EXPECT_EQ(host.Count("box"), 0);
  EXPECT_EQ(error, "Setup.exe --- Error downloading file");
}

TEST_F(UpdateCycleTest, TestModeTakesTheTestFolderAndReadsTheRegistryEvery30Seconds) {
  host.registry = {{"TestMode", "1"}, {"TestModeDate", "05-DEC-2026"}, {"TestModeURL", "D:\\test"}};
  EXPECT_TRUE(cycle.CheckTestMode(false));  // the first call reads
  host.registry["TestMode"] = "0";
  for (int i = 0; i < 35; ++i) {  // one call a second
    host.tick += 1000;
    cycle.CheckTestMode(false);
  }
  EXPECT_FALSE(cycle.TestModeActive());  // re-read within those 35 seconds
  EXPECT_EQ(host.registryReads, 6);
  host.registry["TestMode"] = "1";
  EXPECT_TRUE(cycle.CheckTestMode(true));  // forced: at once
  host.registry["TestModeDate"] = "04-DEC-2026";
  EXPECT_FALSE(cycle.CheckTestMode(true));  // yesterday's date
  host.registry["TestModeDate"] = "05-DEC-2026";

  // A probe in test mode fetches from the test folder; no request goes out.
  host.ini.files["D:\\test\\Product.info"] = kInfoText;
  host.disk["D:\\test\\Setup.exe"] = std::string(5000, 'x');
  cycle.PerformShot();
  EXPECT_TRUE(host.requests.empty());
  EXPECT_EQ(host.ini.files[kInfo], kInfoText);
  EXPECT_TRUE(host.Logged("TestMode=TRUE"));
  EXPECT_TRUE(host.Logged("Download START: D:\\test\\Product.info"));
  EXPECT_TRUE(host.Logged("GetOkToPerformAU = 6 - OK"));
  // A test folder without the file fetches nothing, and the last description stays.
  host.ini.files.erase("D:\\test\\Product.info");
  cycle.PerformShot();
  EXPECT_EQ(host.ini.files[kInfo], kInfoText);
  EXPECT_TRUE(host.Logged("GetOkToPerformAU = 0 - Error downloading .INFO file"));
}

TEST_F(UpdateCycleTest, TheQuestionBeforeAProbe) {
  host.Put(kOriginal, "[OriginalSetup]\nProgramName=Editor\n[MsgBox]\nConfirm=Question\n"
                      "[AutoUpdate]\ns22=Look for PROG_NAME updates?<P>\ns23=(online)<P>\ns24=Go.\n");
  struct Case {
    const char* location;
    bool testMode;
    const char* text;
  } cases[] = {
      {"http://server/upd", false, "Look for Editor updates?<P>(online)<P>Go."},
      {"D:\\upd", false, "Look for Editor updates?<P>Go."},
      {"D:\\test", true,
       "Look for Editor updates?<P>Go.<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!"},
  };
  for (const Case& c : cases) {
    host.location = c.location;
    host.registry = {{"TestMode", c.testMode ? "1" : "0"}, {"TestModeDate", "05-DEC-2026"}, {"TestModeURL", "D:\\test"}};
    host.confirm = false;
    EXPECT_FALSE(cycle.ConfirmProbe());
    EXPECT_EQ(host.events.back(), std::string("box Question 1 ") + c.text);
  }
}

TEST_F(UpdateCycleTest, ATestCycleReportsWhatItFound) {
  host.Put(kOriginal, std::string(kOriginalText) + "s2=No connection.\n");
  host.Put(kInfo, "");
  AgentState().TestCycleMode = 1;
  struct Case {
    const char* what;
    bool connected, developer, serverHasInfo;
    int stamp;
    const char* box;
  } cases[] = {
      {"nothing new", true, false, true, 11, "box Attention 1 Nothing new."},
      {"nothing new, developer", true, true, true, 11,
       "box Attention 1 Nothing new.<P><P>(3 - New version is not higher then old version)   "},
      {"no connection", false, false, true, 11, "box Error 0 No connection.<P><P>The network is down."},
      {"fetch failed", true, false, false, 11, "box Error 0 Product.info --- Error downloading file"},
  };
  for (const Case& c : cases) {
    host.connected = c.connected;
    host.developer = c.developer;
    if (c.serverHasInfo)
      host.web["http://server/upd/Product.info"] = "[NewSetup]\nVersionNew=3\nStamp=11\n";
    else
      host.web.erase("http://server/upd/Product.info");
    host.events.clear();
    cycle.PerformShot();
    EXPECT_EQ(host.events.back(), c.box) << c.what;
    EXPECT_EQ(host.Count("hide"), 1) << c.what;
  }
  // A check that passes reports nothing here: what it led to speaks for itself.
  host.connected = true;
  host.web["http://server/upd/Product.info"] = kInfoText;
  host.events.clear();
  cycle.PerformShot();
  EXPECT_EQ(host.Count("box"), 0);
}

TEST_F(UpdateCycleTest, JustDownloadInfoFileFetchesAndNothingElse) {
  cycle.JustDownloadInfoFile();
  EXPECT_EQ(host.ini.files[kInfo], kInfoText);
  EXPECT_EQ(host.requests.size(), 1u);
  EXPECT_EQ(Original("ProbeSecondsLast"), "-");
  EXPECT_EQ(host.Count("notify 40"), 2);
}

TEST_F(UpdateCycleTest, AgentCommandsReadAndWriteTheSchedule) {
  host.Put(kOriginal, "[OriginalSetup]\nVersionOriginal=3\nProbeSecondsInterval=86400\nReAskSecondsInterval=-1\n"
                      "ProbeSecondsLast=3976214400\nReAskSecondsLast=12\n");
  host.Put(kInfo, kInfoText);
  DescriptionFiles& files = host.Descriptions();
  EXPECT_EQ(AgentCommand(kCommandVersionOriginal, 0, &files), 3);
  EXPECT_EQ(AgentCommand(kCommandVersionNew, 0, &files), 4);
  EXPECT_EQ(AgentCommand(kCommandProbeInterval, 0, &files), 86400);
  EXPECT_EQ(AgentCommand(kCommandReAskInterval, 0, &files), -1);
  EXPECT_EQ(AgentCommand(kCommandProbeLast, 0, &files), static_cast<int32_t>(3976214400LL));  // low 32 bits
  EXPECT_EQ(AgentCommand(kCommandReAskLast, 0, &files), 12);
  EXPECT_EQ(AgentCommand(kCommandSetProbeInterval, -1, &files), 0);
  EXPECT_EQ(AgentCommand(kCommandSetReAskInterval, 600, &files), 0);
  EXPECT_EQ(AgentCommand(kCommandSetProbeLast, 2000000000, &files), 0);
  EXPECT_EQ(AgentCommand(kCommandSetReAskLast, -86400, &files), 0);
  EXPECT_EQ(Original("ProbeSecondsInterval"), "-1");
  EXPECT_EQ(Original("ReAskSecondsInterval"), "600");
  EXPECT_EQ(Original("ProbeSecondsLast"), "2000000000");
  EXPECT_EQ(Original("__ProbeSecondsLast"), "17-MAY-1963 03:33:20");
  EXPECT_EQ(Original("__ReAskSecondsLast"), "29-DEC-1899 00:00:00");
  EXPECT_EQ(AgentCommand(kCommandVersionOriginal, 0, nullptr), 0);  // no files: nothing to read
}

TEST(DescribedFileName, ReducesToTheNamePart) {
  EXPECT_EQ(DescribedFileName("Setup.exe"), "Setup.exe");
  EXPECT_EQ(DescribedFileName("..\\..\\Windows\\evil.exe"), "evil.exe");
  EXPECT_EQ(DescribedFileName("a/../../evil.exe"), "evil.exe");
  EXPECT_EQ(DescribedFileName("C:evil.exe"), "evil.exe");
  EXPECT_EQ(DescribedFileName("upd\\.."), "");
  EXPECT_EQ(DescribedFileName("folder\\"), "");
}
