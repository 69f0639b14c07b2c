// A setup run: the temporary folder, the space check, extraction with progress, the hand-off
// to the setup engine, the wait for it and the tidy-up.
#pragma once

#include <windows.h>

#include <string>

namespace stub {

// Run by the stub window's first timer tick; ends the work by posting the quit message.
void StartSetup(HWND window);
// True when the engine removed the hand-off atom before the stub looked for it.
bool RunSetup(const std::string& tempFolder, const std::string& packagePath, const std::string& agentFileName,
              bool foregroundOp, const std::string& extraParameters);

// The temporary folder of this process: SETUP_ + the stub file's DOS time word in the system's
// temporary folder, made fresh on first use.
std::string SetupTempFolder();
// The same without making it: empty when it was not made yet.
std::string SetupTempFolderIfMade();

HANDLE RunProgram(const std::string& commandLine, int show);
void WaitForProcess(HANDLE process);

}  // namespace stub
