#include <gtest/gtest.h>

#include "stub/SelfCopyPlan.h"

using namespace stub;

TEST(SelfCopyPlan, ArgumentsOfTheCopies) {
  EXPECT_EQ(ResidentCopyArguments("", ""), "");
  EXPECT_EQ(ResidentCopyArguments("|1|0|", "5"), " /TRANSIENTx=|1|0| /SleepX=5");
  EXPECT_EQ(ResidentCopyArguments("", "0"), " /SleepX=0");
  EXPECT_EQ(RelaunchArguments("", "D:\\Disk One\\setup.exe"),
            "/SpanCdLvl=2 /SpanDiskFName1=\"D:\\Disk One\\setup.exe.001\" /OriginExe=\"D:\\Disk One\\setup.exe\"");
  EXPECT_EQ(RelaunchArguments("/x /L=1 ", "D:\\setup.exe"),
            "/x /L=1  /SpanCdLvl=2 /SpanDiskFName1=\"D:\\setup.exe.001\" /OriginExe=\"D:\\setup.exe\"");
  EXPECT_EQ(DeleteMeBatchPath("C:\\Temp\\", 1234), "C:\\Temp\\_DEL_ME_1234.BAT");
}

TEST(SelfCopyPlan, DeleteMeBatch) {
  DeleteMeBatch b;
  b.exe = "C:\\Temp\\SETUP_1\\Y_setup.exe";
  b.folder = "C:\\Temp\\SETUP_1";
  b.removeFolder = true;
  b.path = "C:\\Temp\\_DEL_ME_7.BAT";
  b.ping = "C:\\WINDOWS\\system32\\PING.EXE";
  b.tries = 60;
  EXPECT_EQ(DeleteMeBatchText(b),
            "@ECHO OFF\r\n"
            "SET /A _DEL_ME_TRIES=0\r\n"
            ":START\r\n"
            "DEL \"C:\\Temp\\SETUP_1\\Y_setup.exe\" 2>NUL\r\n"
            "IF NOT EXIST \"C:\\Temp\\SETUP_1\\Y_setup.exe\" GOTO GONE\r\n"
            "SET /A _DEL_ME_TRIES+=1\r\n"
            "IF %_DEL_ME_TRIES% GEQ 60 GOTO GONE\r\n"
            "\"C:\\WINDOWS\\system32\\PING.EXE\" -n 2 127.0.0.1 >NUL\r\n"
            "GOTO START\r\n"
            ":GONE\r\n"
            "RD \"C:\\Temp\\SETUP_1\" 2>NUL\r\n"
            "DEL \"C:\\Temp\\_DEL_ME_7.BAT\"\r\n");
  // The resident copy keeps its folder; a percent sign in a path is not a variable.
  b.removeFolder = false;
  b.exe = "C:\\100% Tools\\X_Agent.exe";
  const std::string text = DeleteMeBatchText(b);
  EXPECT_EQ(text.find("RD "), std::string::npos);
  EXPECT_NE(text.find("DEL \"C:\\100%% Tools\\X_Agent.exe\" 2>NUL\r\n"), std::string::npos);
}
