// The setup of a download stub: the Windows side of PackageDownloadCore (the stub window's
// status line and bars, the questions and error boxes, WinINet, the package readers) and
// the agent copy such a stub leaves in the temporary folder.
#pragma once

#include <windows.h>

#include <string>

#include "package/GFileInfo.h"

namespace stub {

// Run by StartSetup in place of the extraction of the stub's own file when own marks a
// download package: writes the agent copy (agentFileName, "" for none) into tempFolder,
// finds or fetches the package file, runs the setup on it, and sets the exit code of every
// outcome that ran no setup. window is the stub window, shown while the download runs.
void DownloadSetup(HWND window, const TGFileInfo& own, const std::string& tempFolder,
                   const std::string& agentFileName);

}  // namespace stub
