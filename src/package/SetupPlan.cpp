#include "package/SetupPlan.h"

#include "package/ExitCodes.h"
#include "package/GFileInfo.h"
#include "package/PackageDownloadCore.h"
#include "package/Records.h"
#include "package/Token.h"
#include "support/Text.h"

namespace stub {

std::string QuoteProgramPath(const std::string& path) {
  if (path.find(' ') == std::string::npos || (path.size() >= 2 && path.front() == '"')) return path;
  return "\"" + path + "\"";
}

std::string ProgramCommand(const std::string& programPath, const std::string& arguments) {
  std::string command = QuoteProgramPath(programPath);
  if (!arguments.empty()) command += " " + arguments;
  return command;
}

std::string RemoveSwitch(const std::string& command, const std::string& name) {
  size_t at = name.empty() ? std::string::npos : command.find(name);
  if (at == std::string::npos) return command;
  size_t end = at + 1;  // the switch's own "/" goes first
  while (end < command.size() && command[end] != '/') ++end;
  return command.substr(0, at) + command.substr(end);
}

std::string MainProgramPart(const std::string& mainFile) {
  size_t star = mainFile.find('*');
  return star == std::string::npos ? mainFile : Trim(mainFile.substr(0, star));
}

std::string RefusedProgramReason(const std::string& mainFile) {
  if (IsSafeRelativePath(MainProgramPart(mainFile))) return std::string();
  return "the program to start leads out of the setup folder";
}

std::string EngineCommand(const EngineCommandInput& in) {
  std::string program = MainProgramPart(in.mainFile);
  std::string extra = in.extra;
  size_t star = in.mainFile.find('*');
  if (star != std::string::npos) extra = Trim(extra + " " + Trim(in.mainFile.substr(star + 1)));
  // The switches are looked for after the program's path only: a temporary folder or a
  // program name that holds one of their names ("C:/SpanCdLvl=x/") must not be cut.
  std::string arguments = extra.empty() ? std::string() : " " + extra;
  arguments += " /TH_ID=" + in.token;
  if (arguments.find("/OriginExe=") == std::string::npos) arguments += " /OriginExe=\"" + in.ownPath + "\"";
  if (in.autoUpdateProg) arguments += " /AutoUpdateProg";
  arguments = RemoveSwitch(arguments, "/SpanCdLvl=");
  return QuoteProgramPath(FolderSlash(in.tempFolder, true) + program) + RemoveSwitch(arguments, "/SpanDiskFName1=");
}

uint32_t ExitCodeWithoutEngine(ExtractOutcome outcome, bool windowClosed) {
  if (windowClosed) return kExitUserCancel;
  switch (outcome) {
    case ExtractOutcome::Cancelled: return kExitUserCancel;
    case ExtractOutcome::MissingPackage:
    case ExtractOutcome::MissingDisk: return kExitSourceAbsent;
    case ExtractOutcome::WriteFailed: return kExitFailure;
    case ExtractOutcome::Completed:  // but no file is marked as the program to start
    case ExtractOutcome::BadChecksum:
    case ExtractOutcome::DamagedDisk:
    case ExtractOutcome::DecompressFailed: return kExitPackageInvalid;
  }
  return kExitFailure;
}

bool PackageBelongsToStub(const TGFileInfo& package, const TGFileInfo& stub) {
  const std::string stubToken = stub.GetSecretToken(false);
  std::string clear;
  if (TryDescrambleToken(stubToken, clear)) return PackageTokensMatch(package.GetSecretToken(false), stubToken);
  return package.Trailer().Signature() == kPackageSignature && package.LanguageBlock() == stub.LanguageBlock() &&
         package.SettingsRecord() == stub.SettingsRecord() && package.DownloadRecord() == stub.DownloadRecord();
}

std::string SetupFolderName(const std::string& systemTempPath, uint32_t dosDateTime) {
  return FolderSlash(systemTempPath, true) + "SETUP_" + IntText(dosDateTime & 0xFFFF);
}

std::string MegabyteText(double bytes) {
  if (bytes < 0) bytes = 0;
  double mb = bytes / 1048576.0;
  return FixedText(mb, mb > 10 ? 1 : (mb >= 1 ? 2 : 3));
}

SpaceNotice BuildSpaceNotice(const std::string& tempFolder, double needed, double available, bool announce,
                             const SpaceTexts& texts) {
  SpaceNotice notice;
  std::string message = announce ? texts.s2 : std::string();
  if (needed >= available) message = texts.s3;
  if (message.empty()) return notice;
  message += texts.s4 + texts.s5 + texts.s6;
  const std::string drive = tempFolder.empty() ? std::string(":") : std::string(1, UpperChar(tempFolder[0])) + ":";
  message = ReplaceText(message, "<DRIVE>", drive);
  message = ReplaceText(message, "<SPACE_REQ>", MegabyteText(needed));
  message = ReplaceText(message, "<SPACE_AVAIL>", MegabyteText(available));
  notice.show = true;
  notice.text = message;
  return notice;
}

char ChooseAlternativeDrive(char tempDrive, const std::vector<DriveProbe>& probes) {
  char best = UpperChar(tempDrive);
  double bestSpace = 0;
  for (const DriveProbe& p : probes) {
    double space = p.noted ? p.freeBytes : 0;
    if (space > bestSpace) {
      best = UpperChar(p.letter);
      bestSpace = space;
    }
  }
  return best == UpperChar(tempDrive) ? '\0' : best;
}

}  // namespace stub
