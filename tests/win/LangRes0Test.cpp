// Texts from the language file beside the program, under the real INI reader.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/Files.h"
#include "support/Utils.h"
#include "ui/LangRes0.h"

using namespace stub;

namespace {

// Writes the language file where the program looks for it and removes what it made.
class LanguageFile : public ::testing::Test {
 protected:
  void SetUp() override {
    help_ = ExeFolder(true) + "HELP";
    madeHelp_ = !DirectoryExists(help_);
    ASSERT_FALSE(FileExists(LanguageFilePath())) << "a language file is already there";
  }
  void TearDown() override {
    DeleteFileA(LanguageFilePath().c_str());
    if (madeHelp_) DeleteTree(help_, true);
  }
  void Write(const std::string& content) {
    ASSERT_TRUE(ForceDirectories(ExeFolder(true) + "HELP\\English"));
    ASSERT_TRUE(SaveToFile(LanguageFilePath(), content, 0, false));
  }
  std::string help_;
  bool madeHelp_ = false;
};

TEST_F(LanguageFile, PathBesideTheProgram) {
  EXPECT_EQ(LanguageFilePath(), ExeFolder(true) + "HELP\\English\\Talvex.language.ini");
}

TEST_F(LanguageFile, MissingFileGivesTheDefault) {
  EXPECT_EQ(LangString("RunTimeDir_01", "dflt"), "dflt");
  EXPECT_EQ(LangStringArg("RunTimeDir_01", "RunTimeDir (<?>)<P><P>Not Found!", "<InstallDir>"),
            "RunTimeDir (<InstallDir>)<P><P>Not Found!");
}

TEST_F(LanguageFile, ValuesBarsAndPlaceholders) {
  Write("[Strings]\r\n"
        "RunTimeDir_01=|  Folder <?> missing  |\r\n"
        "Plain =  trimmed text  \r\n"
        "Bar=|\r\n"
        "TwoBars=||\r\n"
        "Open=|left\r\n"
        "Empty=\r\n"
        "Twice=<?> and <?>\r\n"
        "[Other]\r\n"
        "Elsewhere=x\r\n");
  struct Case {
    const char* key;
    const char* expected;
  } cases[] = {
      {"Plain", "trimmed text"},
      {"PLAIN", "trimmed text"},  // keys ignore case
      {"Bar", "DEF"},             // "|" alone counts as empty
      {"TwoBars", "DEF"},
      {"Open", "|left"},          // only a pair of bars is unwrapped
      {"Empty", "DEF"},
      {"Missing", "DEF"},
      {"Elsewhere", "DEF"},       // only [STRINGS] is read
  };
  for (const Case& c : cases) EXPECT_EQ(LangString(c.key, "DEF"), c.expected) << c.key;
  EXPECT_EQ(LangStringArg("RunTimeDir_01", "unused", "<CommonFiles>"), "  Folder <CommonFiles> missing  ");
  EXPECT_EQ(LangStringArg("Twice", "", "X"), "X and X");
  EXPECT_EQ(LangStringArg("Missing", "default <?>", "arg"), "default arg");
}

}  // namespace
