#include <gtest/gtest.h>

#include "FakeStub.h"
#include "PackageWriter.h"
#include "package/ByteSource.h"
#include "package/GFileInfo.h"
#include "package/SetupPlan.h"
#include "package/Token.h"

using namespace stub;

TEST(SetupPlan, EngineCommandLines) {
  struct Case { const char* main; const char* extra; bool agent; const char* folder; const char* command; } cases[] = {
      {"Engine.exe*/L=1", "/hide", false, "C:\\T\\SETUP_1",
       "C:\\T\\SETUP_1\\Engine.exe /hide /L=1 /TH_ID=_77 /OriginExe=\"C:\\d\\setup.exe\""},
      {"Engine.exe", "", true, "C:\\T\\SETUP_1",
       "C:\\T\\SETUP_1\\Engine.exe /TH_ID=_77 /OriginExe=\"C:\\d\\setup.exe\" /AutoUpdateProg"},
      {"Engine.exe", "/OriginExe=\"D:\\first.exe\"", false, "C:\\T\\SETUP_1",
       "C:\\T\\SETUP_1\\Engine.exe /OriginExe=\"D:\\first.exe\" /TH_ID=_77"},
      {"Engine.exe", "/SpanCdLvl=2 /SpanDiskFName1=D:\\setup.exe.001 /X", false, "C:\\T\\SETUP_1",
       "C:\\T\\SETUP_1\\Engine.exe /X /TH_ID=_77 /OriginExe=\"C:\\d\\setup.exe\""},
      {" Engine.exe * /a ", " /b ", false, "C:\\T\\SETUP_1",
       "C:\\T\\SETUP_1\\Engine.exe /b  /a /TH_ID=_77 /OriginExe=\"C:\\d\\setup.exe\""},
      // A folder with a blank: the program path is quoted, and only then.
      {"Engine.exe*/L=1", "", false, "C:\\Documents and Settings\\u\\Temp\\SETUP_9",
       "\"C:\\Documents and Settings\\u\\Temp\\SETUP_9\\Engine.exe\" /L=1 /TH_ID=_77 /OriginExe=\"C:\\d\\setup.exe\""},
      // A switch's name inside the folder is part of the path: it is not cut out.
      {"Engine.exe", "/SpanCdLvl=2 /X", false, "C:/T/SpanCdLvl=1/SETUP_1",
       "C:/T/SpanCdLvl=1/SETUP_1\\Engine.exe /X /TH_ID=_77 /OriginExe=\"C:\\d\\setup.exe\""},
  };
  for (const Case& c : cases) {
    EngineCommandInput in;
    in.tempFolder = c.folder;
    in.mainFile = c.main;
    in.extra = c.extra;
    in.token = "_77";
    in.ownPath = "C:\\d\\setup.exe";
    in.autoUpdateProg = c.agent;
    EXPECT_EQ(EngineCommand(in), c.command) << c.main << " " << c.extra;
  }
}

TEST(SetupPlan, RemoveSwitchAndQuoting) {
  EXPECT_EQ(RemoveSwitch("a.exe /X=1 /Y=2", "/X="), "a.exe /Y=2");
  EXPECT_EQ(RemoveSwitch("a.exe /Y=2 /X=1", "/X="), "a.exe /Y=2 ");
  EXPECT_EQ(RemoveSwitch("a.exe /x=1", "/X="), "a.exe /x=1");  // exact case
  EXPECT_EQ(ProgramCommand("C:\\A\\b.exe", "/x"), "C:\\A\\b.exe /x");
  EXPECT_EQ(ProgramCommand("C:\\Program Files\\b.exe", ""), "\"C:\\Program Files\\b.exe\"");
  EXPECT_EQ(QuoteProgramPath("\"C:\\A B\\c.exe\""), "\"C:\\A B\\c.exe\"");
}

TEST(SetupPlan, TempFolderAndMegabytes) {
  EXPECT_EQ(SetupFolderName("C:\\Users\\u\\Temp\\", 0x5A8C9D7Bu), "C:\\Users\\u\\Temp\\SETUP_40315");
  EXPECT_EQ(SetupFolderName("C:\\Temp", 0x00010000u), "C:\\Temp\\SETUP_0");
  struct Case { double bytes; const char* text; } cases[] = {
      {7272933, "6.94"}, {0, "0.000"}, {-5, "0.000"}, {524288, "0.500"}, {1048576, "1.00"},
      {10485760, "10.00"}, {11534336, "11.0"}, {5000.0 * 1048576, "5000.0"},
  };
  for (const Case& c : cases) EXPECT_EQ(MegabyteText(c.bytes), c.text) << c.bytes;
}

TEST(SetupPlan, SpaceNotice) {
  SpaceTexts t{"Announce (<DRIVE>)<P>", "Limited (<DRIVE>)<P>", "need <SPACE_REQ> MB<P>", "free <SPACE_AVAIL> MB<P>",
               "Continue?"};
  EXPECT_FALSE(BuildSpaceNotice("c:\\t", 1048576, 2 * 1048576.0, false, t).show);
  SpaceNotice announce = BuildSpaceNotice("c:\\t", 1048576, 2 * 1048576.0, true, t);
  EXPECT_EQ(announce.text, "Announce (C:)<P>need 1.00 MB<P>free 2.00 MB<P>Continue?");
  SpaceNotice limited = BuildSpaceNotice("D:\\t", 2 * 1048576.0, 2 * 1048576.0, true, t);
  EXPECT_EQ(limited.text, "Limited (D:)<P>need 2.00 MB<P>free 2.00 MB<P>Continue?");
}

TEST(SetupPlan, AlternativeDrive) {
  EXPECT_EQ(ChooseAlternativeDrive('C', {{'C', true, 5}, {'D', true, 5}}), '\0');  // tie: the earlier, C
  EXPECT_EQ(ChooseAlternativeDrive('C', {{'C', true, 5}, {'D', true, 9}, {'E', false, 99}}), 'D');
  EXPECT_EQ(ChooseAlternativeDrive('E', {{'C', true, 1}, {'D', true, 1}}), 'C');
  EXPECT_EQ(ChooseAlternativeDrive('C', {}), '\0');
}

TEST(SetupPlan, ExitCodesOfRunsThatStartNoEngine) {
  const struct {
    ExtractOutcome outcome;
    bool windowClosed;
    uint32_t code;
  } cases[] = {
      {ExtractOutcome::Cancelled, false, 1602},        {ExtractOutcome::Completed, true, 1602},
      {ExtractOutcome::WriteFailed, true, 1602},       {ExtractOutcome::MissingPackage, false, 1612},
      {ExtractOutcome::MissingDisk, false, 1612},      {ExtractOutcome::WriteFailed, false, 1603},
      {ExtractOutcome::Completed, false, 1620},        {ExtractOutcome::BadChecksum, false, 1620},
      {ExtractOutcome::DamagedDisk, false, 1620},      {ExtractOutcome::DecompressFailed, false, 1620},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExitCodeWithoutEngine(c.outcome, c.windowClosed), c.code) << OutcomeName(c.outcome) << c.windowClosed;
}

namespace {

// Lead records only: what the pairing looks at.
std::string PackageWith(const std::string& token, const std::string& infoFile = "P.info",
                        const std::string& language = "s0=Setup") {
  PackageSpec layout;
  layout.stub = FakeStub(2048);
  layout.languageBlock = LanguageBlockOf({LanguageSection("English", {language})});
  layout.settingsRecord = SettingsRecordOf("http://u", infoFile, "Agent.exe", token, false);
  return BuildPackage(layout, {});
}

bool Belongs(const std::string& package, const std::string& stub) {
  MemorySource p(package), s(stub);
  return PackageBelongsToStub(TGFileInfo(p), TGFileInfo(s));
}

}  // namespace

TEST(SetupPlan, OnlyThisStubsOwnPackageIsTakenFromTheCommandLine) {
  const std::string token = ScrambleToken("Product-7", 1);
  const std::string stub = PackageWith(token);
  EXPECT_TRUE(Belongs(PackageWith(ScrambleToken("Product-7", 99), "Other.info"), stub));
  EXPECT_FALSE(Belongs(PackageWith(ScrambleToken("product-7", 1)), stub));
  EXPECT_FALSE(Belongs(PackageWith(""), stub));
  EXPECT_FALSE(Belongs(std::string(4096, 'x'), stub));

  // Without a token the stub knows its first disk by the lead records they share: the
  // launcher of a relaunching set carries those of its first disk.
  const std::string untokened = PackageWith("");
  MemorySource firstDisk(untokened);
  EXPECT_TRUE(Belongs(untokened, BuildLauncher(firstDisk)));
  EXPECT_FALSE(Belongs(PackageWith("", "Other.info"), untokened));
  EXPECT_FALSE(Belongs(PackageWith("", "P.info", "s0=Other"), untokened));
  EXPECT_FALSE(Belongs(PackageWith(token), untokened));
  EXPECT_FALSE(Belongs(std::string(4096, 'x'), PackageWith("", "", "")));
}

// A header whose "*" lies past field 0 names the program with the whole header; whatever
// names it, the program is checked like every extracted path.
TEST(SetupPlan, ProgramsOutsideTheSetupFolderAreRefused) {
  struct Case { const char* main; bool refused; } cases[] = {
      {"Engine.exe*/L=1", false},
      {" sub\\Setup.exe * /a", false},
      {"Engine.exe", false},
      {"\\a.txt\\..\\..\\Windows\\System32\\calc.exe*", true},
      {"a.txt\\..\\..\\Windows\\System32\\calc.exe*/S", true},
      {"|a.txt|0|..\\x.exe*", true},
      {"C:\\Windows\\notepad.exe*", true},
      {"\\\\server\\share\\x.exe*", true},
      {"NUL*", true},
      {"COM\xB9.exe*", true},
      {"*/X=1", true},
  };
  for (const Case& c : cases) EXPECT_EQ(RefusedProgramReason(c.main).empty(), !c.refused) << c.main;
  EXPECT_EQ(MainProgramPart(" sub\\Setup.exe * /a"), "sub\\Setup.exe");
}
