/* A stand-in for a system library, planted beside a program by the tests under a system
   library's name. Loading it leaves a marker beside it (its own path + ".loaded") naming the
   program that loaded it; then it refuses to stay loaded, so the program goes on as if the
   library were missing. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  char marker[MAX_PATH + 16] = {0};
  char program[MAX_PATH] = {0};
  HANDLE file;
  DWORD written;
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  GetModuleFileNameA(self, marker, MAX_PATH);
  lstrcatA(marker, ".loaded");
  GetModuleFileNameA(NULL, program, MAX_PATH);
  file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS, 0, NULL);
  if (file != INVALID_HANDLE_VALUE) {
    WriteFile(file, program, (DWORD)lstrlenA(program), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
  }
  return FALSE;
}
