// The pure parts of a setup run: the engine's command line, the switches removed from it,
// the temporary folder's name, the space notice and its megabyte texts, the choice of an
// alternative temporary drive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/UnPackCore.h"

namespace stub {

class TGFileInfo;

// "X" when the path holds no blank, "\"X\"" when it does: an unquoted path with a blank is
// first tried cut at the blank ("C:\Program.exe"), which fails or starts the wrong program.
std::string QuoteProgramPath(const std::string& path);
// A command line for CreateProcess/WinExec: the program path, quoted only when needed, and
// the arguments after one blank (none when empty).
std::string ProgramCommand(const std::string& programPath, const std::string& arguments);

// Deletes the first occurrence of the switch (exact case) from its "/" up to the next "/".
std::string RemoveSwitch(const std::string& command, const std::string& name);

struct EngineCommandInput {
  std::string tempFolder;   // without trailing backslash (one is added)
  std::string mainFile;     // as the extractor found it: "Engine.exe*/L=1"
  std::string extra;        // the stub's own arguments
  std::string token;        // "_" + thread id
  std::string ownPath;      // the stub's full path
  bool autoUpdateProg = false;
};
std::string EngineCommand(const EngineCommandInput& in);

// The program that a MainFile text names, relative to the temporary folder: the text before
// its "*", trimmed (all of it when there is no "*").
std::string MainProgramPart(const std::string& mainFile);
// Why that program must not be started, "" when it may: like every extracted path it has to
// stay inside the temporary folder. A header may hold its "*" outside field 0, and then the
// whole header names the program ("\a.txt\..\..\Windows\System32\calc.exe*").
std::string RefusedProgramReason(const std::string& mainFile);

// The exit code of a setup run whose extraction ended this way and started no engine
// (ExitCodes.h): the user's cancel, a package that is damaged or names nothing to start, a
// disk that is not there, a file that could not be written.
uint32_t ExitCodeWithoutEngine(ExtractOutcome outcome, bool windowClosed);

// Whether the package that "/SpanDiskFName1=" names belongs to this stub, so that a stub
// (a signed one too) cannot be pointed at another package from its command line: the same
// secret token in both settings records, as the download path pairs them; a stub built
// without a token knows its first disk only by the lead records they share byte for byte.
bool PackageBelongsToStub(const TGFileInfo& package, const TGFileInfo& stub);

// System temporary path (with trailing backslash) + "SETUP_" + the file's DOS time word.
std::string SetupFolderName(const std::string& systemTempPath, uint32_t dosDateTime);

// Megabytes: 1 decimal above 10, 2 from 1 to 10, 3 below 1; negative counts as 0.
std::string MegabyteText(double bytes);

struct SpaceNotice {
  bool show = false;
  std::string text;
};
// The texts come from the package's language (s2..s6 with their defaults), passed in.
struct SpaceTexts {
  std::string s2, s3, s4, s5, s6;
};
SpaceNotice BuildSpaceNotice(const std::string& tempFolder, double needed, double available, bool announce,
                             const SpaceTexts& texts);

// One probed drive of the alternative temporary folder search.
struct DriveProbe {
  char letter = 'C';
  bool noted = false;      // the probe file could be written
  double freeBytes = 0;
};
// The best drive letter: most free space, ties to the earlier letter, starting from the
// temporary path's drive with 0; '\0' when that is the temporary path's own drive.
char ChooseAlternativeDrive(char tempDrive, const std::vector<DriveProbe>& probes);

}  // namespace stub
