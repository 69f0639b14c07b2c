// Common utilities that call the system: switch lookup on the process's command line, INI
// and registry access, waits that keep the thread's windows alive, and system facts.
// The portable text routines are in Text.h, field lists in VSUB.h, switch parsing in
// Switches.h.
#pragma once

#include <windows.h>
#ifdef ReplaceText
#undef ReplaceText  // a common-dialog macro; stub::ReplaceText is meant
#endif

#include <cstdint>
#include <string>

#include "support/Text.h"

namespace stub {

// Command-line switches of this process ("/SpanCdLvl=", "/hide" ...), case ignored.
std::string GetParamTail();
std::string GetParamValue(const std::string& name);
bool HasParam(const std::string& name);
int64_t GetParamInt(const std::string& name, int64_t def);

// INI files (always pass absolute paths).
std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& def);
int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t def);
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t value);

// Registry, read only.
const bool RegView64Default = false;
HKEY RegRootFromName(const std::string& name);
void SplitRegPath(const std::string& path, HKEY& root, std::string& subKey);
std::string ReadRegString(const std::string& path, const std::string& valueName, const std::string& def,
                          bool view64);
std::string GetRegisteredOwner();
std::string GetRegisteredOrganization();

// Waits dispatching the thread's window messages; interval 0 means duration/10 in 1..25 ms.
void WaitPumping(unsigned interval, unsigned duration);
void PumpMessages();                 // dispatch what is waiting, once
// Waits while a top-level window of the class (and title, when given) exists, looking every
// 100 ms and serving this thread's messages in between.
void WaitWhileWindowExists(const std::string& className, const std::string& title);
double MillisecondCounter();         // performance counter in milliseconds

// The program and the system.
std::string FileVersionText(const std::string& path);  // "" = own file
bool IsWinNT();
std::string ExeFileName(bool stripExt);
std::string ExeFolder(bool withSlash);
std::string WindowsFolder(bool withSlash);
std::string SystemFolder(bool withSlash);
std::string TempFolder(bool withSlash);
std::string CurrentUserName();
std::string CurrentComputerName();
std::string CurrentUserDomain();
std::string SysErrorText();
std::string WindowText(HWND window);
POINT CentreOnWorkArea(int width, int height);
int PointsToPixels(int points);
bool RunShell(const std::string& file, const std::string& parameters, int show);
FARPROC LoadProc(const std::string& library, const std::string& name);
// A system library loaded by its full path in the system folder, never by a search that a
// file planted beside the program could answer; null when it cannot be loaded.
HMODULE LoadFromSystemFolder(const std::string& fileName);
// LoadProc cast to the function's own pointer type (through void* to keep the compiler's
// function-cast check quiet).
template <class Function>
Function LoadProcAs(const std::string& library, const std::string& name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(LoadProc(library, name)));
}
int64_t RandomInRange(int64_t low, int64_t high);
std::string RandomInRangeText(int64_t low, int64_t high);
// Registers "QueryCancelAutoPlay" (enable) or forgets it; AutoPlayMessageId is 0 when disabled.
void AutoPlayMessage(bool enable);
UINT AutoPlayMessageId();
bool DeveloperMode();

// Local time now, broken down, and the user's date and time separators.
CivilTime CivilFromSystemTime(const SYSTEMTIME& time);
CivilTime LocalNow();
char DateSeparator();
char TimeSeparator();

}  // namespace stub
