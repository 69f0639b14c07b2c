// A setup run: the temporary folder, the space check, extraction with progress, the hand-off
// to the setup engine, the wait for it and the tidy-up.
#pragma once

#include <windows.h>

#include <string>

namespace stub {

// What a setup run borrows from the program around it: the window it shows its progress in,
// and the product's shortcuts, which the update description files know. The stub window
// attaches itself; without a host a run shows nothing and removes no shortcut.
class SetupHost {
 public:
  virtual ~SetupHost() = default;
  virtual HWND MainWindow() = 0;
  virtual HWND StatusTextControl() = 0;
  virtual HWND ActivityBar() = 0;
  virtual void SetStatusText(HWND control, const std::string& text, const std::string& fontName, int charset,
                             int fontSize) = 0;
  // Called just before the engine starts, and after a setup that succeeded.
  virtual void EngineStarting() = 0;
  virtual void SetupSucceeded() = 0;
};
void AttachSetupHost(SetupHost* host);

// The attached host's window, for the modules of a setup run: null handles and no effect
// while none is attached.
HWND MainWindow();
HWND StatusTextControl();
HWND ActivityBar();
void SetStatusText(HWND control, const std::string& text, const std::string& fontName, int charset, int fontSize);

// The exit code the process ends with (the setup engine's, after a setup run).
void SetStubExitCode(DWORD code);
DWORD StubExitCode();

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
// The name SetupTempFolder gives (or gave), whether the folder exists or not.
std::string SetupTempFolderName();

HANDLE RunProgram(const std::string& commandLine, int show);
void WaitForProcess(HANDLE process);

}  // namespace stub
