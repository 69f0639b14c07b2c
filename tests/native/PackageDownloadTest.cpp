// The setup of a download stub over a scripted host: where the package comes from, the
// question, the connection test, the token, what runs, what is deleted and what is shown;
// and the agent copy such a stub writes of itself.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "FakeStub.h"
#include "PackageWriter.h"
#include "package/ExitCodes.h"
#include "package/PackageDownloadCore.h"
#include "package/PackageLayout.h"
#include "package/Token.h"

using namespace stub;

namespace {

const char kStub[] = "C:\\Users\\ann\\Downloads\\Setup.exe";
const char kFetched[] = "C:\\Temp\\SETUP_1\\download\\Product.exe";
const char kFetchUrl[] = "http://host/product/Product.exe";

// Answers as scripted; every call becomes one line of events.
class ScriptedHost : public PackageDownloadHost {
 public:
  std::set<std::string> files;   // paths that exist
  bool yes = true;
  bool connected = true;
  std::string connectionReason;
  std::string downloadError;     // "" = the whole file arrived
  bool aborted = false;
  std::string packageToken;      // the token every package file carries
  std::string errorPage;         // "" = not an HTML page
  std::vector<std::string> events;

  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  void ShowDownloading() override { events.push_back("status"); }
  bool Confirm(const std::string& text) override {
    events.push_back("ask " + text);
    return yes;
  }
  bool IsConnected(std::string& reason) override {
    events.push_back("connected?");
    reason = connectionReason;
    return connected;
  }
  std::string Download(const std::string& url, const std::string& destination) override {
    events.push_back("download " + url + " > " + destination);
    if (downloadError.empty()) files.insert(destination);
    return downloadError;
  }
  bool AbortRequested() override { return aborted; }
  void ResetBars() override { events.push_back("reset bars"); }
  std::string DownloadToken(const std::string& packagePath) override {
    events.push_back("token " + packagePath);
    return packageToken;
  }
  std::string ErrorPageText(const std::string& packagePath, const std::string& url, const std::string& def) override {
    events.push_back("page? " + packagePath + " " + url);
    return errorPage.empty() ? def : errorPage;
  }
  void RunSetup(const std::string& packagePath) override { events.push_back("setup " + packagePath); }
  void RemoveFile(const std::string& path) override { events.push_back("delete " + path); }
  void ShowError(const std::string& text) override { events.push_back("error " + text); }
  void Log(const std::string&) override {}
};

PackageDownloadRequest Request() {
  PackageDownloadRequest r;
  r.downloadUrl = "http://host/product";
  r.fileName = "Product.exe";
  r.ownPath = kStub;
  r.downloadFolder = "C:\\Temp\\SETUP_1\\download";
  r.sizeText = "7272933";
  r.stubToken = ScrambleToken("pairing", 7);
  r.question = "Size: <SIZE> MB";
  r.noConnection = "No valid Internet Connection.";
  return r;
}

typedef std::vector<std::string> Events;

}  // namespace

TEST(PackageDownload, SourcesQuestionsAndTheirOutcomes) {
  const std::string good = ScrambleToken("pairing", 99);  // the same clear text, other bytes
  const std::string beside = "C:\\Users\\ann\\Downloads\\Product.exe";
  const std::string share = "\\\\server\\setups\\Product.exe";
  const std::string fetchTo = std::string("download ") + kFetchUrl + " > " + kFetched;
  struct Case {
    const char* name;
    void (*script)(PackageDownloadRequest&, ScriptedHost&);
    std::string token;
    PackageDownloadOutcome outcome;
    Events events;
  } cases[] = {
      {"fetched and run, then deleted", [](PackageDownloadRequest&, ScriptedHost&) {}, good,
       PackageDownloadOutcome::SetupRan,
       {"status", "connected?", fetchTo, "reset bars", std::string("token ") + kFetched,
        std::string("setup ") + kFetched, std::string("delete ") + kFetched}},
      {"asked, Yes", [](PackageDownloadRequest& r, ScriptedHost&) { r.ask = true; }, good,
       PackageDownloadOutcome::SetupRan,
       {"status", "ask Size: 6.94 MB", "connected?", fetchTo, "reset bars", std::string("token ") + kFetched,
        std::string("setup ") + kFetched, std::string("delete ") + kFetched}},
      // No: no connection test, no request, no box (not even the no-connection text).
      {"asked, No", [](PackageDownloadRequest& r, ScriptedHost& h) { r.ask = true, h.yes = false, h.connected = false; },
       good, PackageDownloadOutcome::Declined, {"status", "ask Size: 6.94 MB"}},
      {"no connection, with the system's reason",
       [](PackageDownloadRequest&, ScriptedHost& h) { h.connected = false, h.connectionReason = "Offline."; }, good,
       PackageDownloadOutcome::NoConnection,
       {"status", "connected?", "error No valid Internet Connection.<P><P>Offline."}},
      {"no connection, no reason", [](PackageDownloadRequest&, ScriptedHost& h) { h.connected = false; }, good,
       PackageDownloadOutcome::NoConnection, {"status", "connected?", "error No valid Internet Connection."}},
      // A failed download leaves nothing at the package path to check or delete.
      {"download failed", [](PackageDownloadRequest&, ScriptedHost& h) { h.downloadError = "cut short"; }, good,
       PackageDownloadOutcome::DownloadFailed, {"status", "connected?", fetchTo, "reset bars", "error cut short"}},
      {"window closed during the download",
       [](PackageDownloadRequest&, ScriptedHost& h) { h.downloadError = "Download Aborted", h.aborted = true; }, good,
       PackageDownloadOutcome::Aborted, {"status", "connected?", fetchTo, "reset bars", "error Download Aborted"}},
      {"another token", [](PackageDownloadRequest&, ScriptedHost&) {}, ScrambleToken("Pairing", 7),
       PackageDownloadOutcome::BadToken,
       {"status", "connected?", fetchTo, "reset bars", std::string("token ") + kFetched,
        std::string("page? ") + kFetched + " " + kFetchUrl, std::string("delete ") + kFetched,
        "error Bad Secret Token!"}},
      {"an HTML page", [](PackageDownloadRequest&, ScriptedHost& h) { h.errorPage = "<B>404</B>"; }, "",
       PackageDownloadOutcome::ErrorPage,
       {"status", "connected?", fetchTo, "reset bars", std::string("token ") + kFetched,
        std::string("page? ") + kFetched + " " + kFetchUrl, std::string("delete ") + kFetched, "error <B>404</B>"}},
      // Beside the stub: no question, no connection test, no request; checked, run, kept.
      {"beside the stub",
       [](PackageDownloadRequest& r, ScriptedHost& h) {
         r.ask = true;
         h.files.insert("C:\\Users\\ann\\Downloads\\Product.exe");
       },
       good, PackageDownloadOutcome::SetupRan,
       {"token " + beside, "setup " + beside}},
      {"beside the stub, with another token",
       [](PackageDownloadRequest&, ScriptedHost& h) { h.files.insert("C:\\Users\\ann\\Downloads\\Product.exe"); },
       ScrambleToken("other", 1), PackageDownloadOutcome::BadToken,
       {"token " + beside, "page? " + beside + " C:\\Users\\ann\\Downloads/Product.exe", "error Bad Secret Token!"}},
      {"beside the stub, but never looked for",
       [](PackageDownloadRequest& r, ScriptedHost& h) {
         r.noLocalCopy = true;
         h.files.insert("C:\\Users\\ann\\Downloads\\Product.exe");
       },
       good, PackageDownloadOutcome::SetupRan,
       {"status", "connected?", fetchTo, "reset bars", std::string("token ") + kFetched,
        std::string("setup ") + kFetched, std::string("delete ") + kFetched}},
      // A stub named like its package must not take itself for the package.
      {"the stub is named like the package",
       [](PackageDownloadRequest& r, ScriptedHost& h) {
         r.fileName = "Setup.exe";
         h.files.insert(kStub);
       },
       good, PackageDownloadOutcome::SetupRan,
       {"status", "connected?", "download http://host/product/Setup.exe > C:\\Temp\\SETUP_1\\download\\Setup.exe",
        "reset bars", "token C:\\Temp\\SETUP_1\\download\\Setup.exe", "setup C:\\Temp\\SETUP_1\\download\\Setup.exe",
        "delete C:\\Temp\\SETUP_1\\download\\Setup.exe"}},
      {"a share as the download folder",
       [](PackageDownloadRequest& r, ScriptedHost& h) {
         r.downloadUrl = "\\\\server\\setups\\";
         h.files.insert("\\\\server\\setups\\Product.exe");
       },
       good, PackageDownloadOutcome::SetupRan, {"token " + share, "setup " + share}},
  };
  for (const Case& c : cases) {
    PackageDownloadRequest request = Request();
    ScriptedHost host;
    host.packageToken = c.token;
    c.script(request, host);
    EXPECT_EQ(RunPackageDownload(request, host), c.outcome) << c.name;
    EXPECT_EQ(host.events, c.events) << c.name;
  }
}

TEST(PackageDownload, ExitCodes) {
  struct Case {
    PackageDownloadOutcome outcome;
    uint32_t code;
  } cases[] = {
      {PackageDownloadOutcome::Declined, kExitUserCancel},       {PackageDownloadOutcome::Aborted, kExitUserCancel},
      {PackageDownloadOutcome::NoConnection, kExitSourceAbsent}, {PackageDownloadOutcome::DownloadFailed, kExitSourceAbsent},
      {PackageDownloadOutcome::BadToken, kExitPackageInvalid},   {PackageDownloadOutcome::ErrorPage, kExitPackageInvalid},
  };
  for (const Case& c : cases) {
    uint32_t code = 0;
    EXPECT_TRUE(PackageDownloadExitCode(c.outcome, code)) << PackageDownloadOutcomeName(c.outcome);
    EXPECT_EQ(code, c.code) << PackageDownloadOutcomeName(c.outcome);
  }
  uint32_t code = 42;
  EXPECT_FALSE(PackageDownloadExitCode(PackageDownloadOutcome::SetupRan, code));  // the setup's own
  EXPECT_EQ(code, 42u);
}

TEST(PackageDownload, QuestionTokensAndNames) {
  EXPECT_EQ(DownloadQuestion("Size: <SIZE> MB<P><SIZE>", "7272933"), "Size: 6.94 MB<P>6.94");
  EXPECT_EQ(DownloadQuestion("Size: <SIZE> MB", ""), "Size: 0.000 MB");
  EXPECT_EQ(DownloadQuestion("Size: <SIZE> MB", "about 7 MB"), "Size: 0.000 MB");
  EXPECT_EQ(DownloadQuestion("Size: <SIZE> MB", "52428800"), "Size: 50.0 MB");

  EXPECT_TRUE(PackageTokensMatch(ScrambleToken("pairing", 1), ScrambleToken("pairing", 2)));
  EXPECT_FALSE(PackageTokensMatch(ScrambleToken("Pairing", 1), ScrambleToken("pairing", 1)));
  EXPECT_FALSE(PackageTokensMatch(ScrambleToken("pairing", 1), ScrambleToken("pairing2", 1)));
  EXPECT_FALSE(PackageTokensMatch("", ScrambleToken("pairing", 1)));
  // Two packages without a token (or with broken ones) are no pair.
  EXPECT_FALSE(PackageTokensMatch("", ""));
  EXPECT_FALSE(PackageTokensMatch("zz", "zz"));

  EXPECT_EQ(DownloadedPackageName("Product.exe"), "Product.exe");
  EXPECT_EQ(DownloadedPackageName("v2/Product.exe"), "Product.exe");
  EXPECT_EQ(DownloadedPackageName("..\\..\\Windows\\x.exe"), "x.exe");
  EXPECT_EQ(DownloadedPackageName(""), "package.exe");
  EXPECT_EQ(DownloadedPackageName("setups/"), "package.exe");
  EXPECT_EQ(DownloadedPackageName("CON"), "package.exe");
}

namespace {

// A download stub: the fake stub program, its lead records and the trailer, with the
// logical length in the header (or not), and `signature` bytes appended after it.
std::string DownloadStub(size_t signature, bool logicalLength = true) {
  PackageSpec spec;
  spec.stub = FakeStub(2048);
  spec.languageBlock = LanguageBlockOf({LanguageSection("English", {"s0=Setup"})});
  spec.settingsRecord = SettingsRecordOf("http://u", "P.info", "Agent.exe", "", false);
  spec.downloadRecord = DownloadRecordOf("http://host/product", "Product.exe", false, "", "123");
  spec.hasDownloadRecord = true;
  spec.internetPackage = true;
  spec.makeAgentCopy = true;
  spec.writeLogicalLength = logicalLength;
  std::string file = BuildPackage(spec, {});
  for (size_t i = 0; i < signature; ++i) file += static_cast<char>(0xA0 + i % 7);
  return file;
}

}  // namespace

TEST(PackageDownloadAgentCopy, MarkedInItsTrailerWithOrWithoutTheSignature) {
  struct Case {
    size_t signature;
    bool logicalLength;
    bool signatureKept;
  } cases[] = {
      {0, true, false},
      {1200, true, false},   // a signature of less than 10,000 bytes is dropped
      {9999, true, false},
      {10000, true, true},   // a longer one stays behind the package
      {14000, true, true},
      {0, false, false},     // no logical length: the physical end counts
  };
  for (const Case& c : cases) {
    const std::string stubFile = DownloadStub(c.signature, c.logicalLength);
    const size_t packageEnd = stubFile.size() - c.signature;
    const std::string copy = DownloadStubAgentCopy(stubFile);
    ASSERT_EQ(copy.size(), c.signatureKept ? stubFile.size() : packageEnd) << c.signature;
    // One byte differs from the stub's file: AgentCopy, 5 bytes before the package's end.
    for (size_t i = 0; i < copy.size(); ++i) {
      if (i == packageEnd - 5) continue;
      ASSERT_EQ(copy[i], stubFile[i]) << c.signature << " at " << i;
    }
    MemorySource source(copy);
    PackageTrailer trailer;
    ReadTrailer(source, trailer);
    EXPECT_EQ(trailer.Signature(), kPackageSignature) << c.signature;
    EXPECT_TRUE(trailer.AgentCopy()) << c.signature;
    EXPECT_TRUE(trailer.InternetPackage()) << c.signature;
  }
  EXPECT_EQ(DownloadStubAgentCopy("MZ123"), "");
}
