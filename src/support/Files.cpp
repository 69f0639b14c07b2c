#include "support/Files.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "support/Text.h"
#include "support/Utils.h"
#include "support/VDebug.h"

namespace stub {

typedef BOOL(WINAPI* GetDiskFreeSpaceExFn)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

// GetDiskFreeSpaceExA of kernel32, looked up once; null when the system lacks it.
static GetDiskFreeSpaceExFn g_getDiskFreeSpaceEx = nullptr;
// Whether g_getDiskFreeSpaceEx has been looked up.
static bool g_diskFreeLookedUp = false;

static const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
static const size_t kMiB = 1048576;

// The path without one trailing backslash, except for a drive root ("C:\"), whose slash
// carries meaning ("C:" alone is the drive's current folder).
static std::string WithoutSlash(const std::string& path) {
  if (path.size() > 1 && path.back() == '\\' && path[path.size() - 2] != ':') return path.substr(0, path.size() - 1);
  return path;
}

static bool IsDotEntry(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// ---------------------------------------------------------------------------------------
// Positions, sizes, existence

int64_t FileSeek64(HANDLE file, int origin, int64_t offset) {
  LONG high = static_cast<LONG>(offset >> 32);
  DWORD low = SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFF), &high, static_cast<DWORD>(origin));
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return -1;
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low);
}

int64_t FileSizeOfHandle(HANDLE file) {
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return -1;
  return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
}

int64_t FileSizeByName(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(path.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
  return static_cast<int64_t>((static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::string& path) {
  std::string folder = WithoutSlash(path);
  if (folder.empty()) return false;
  if (DirectoryExists(folder)) return true;
  std::string parent = WithoutSlash(FolderPart(folder));
  if (!parent.empty() && parent != folder && parent.back() != ':' && !ForceDirectories(parent)) return false;
  // Another process may have made it meanwhile: what counts is that it is there now.
  return CreateDirectoryA(folder.c_str(), nullptr) || DirectoryExists(folder);
}

// ---------------------------------------------------------------------------------------
// Reading and writing

std::string ReadFilePart(const std::string& path, int64_t maximum, int64_t start) {
  if (!FileExists(path)) return std::string();
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string result;
  int64_t size = FileSizeOfHandle(file);
  int64_t count = size - start;
  if (maximum != 0) count = std::min(count, maximum);
  // count never exceeds what lies between start and the end of the file, so the buffer is
  // no larger than the file.
  if (start >= 0 && start < size && count > 0 && static_cast<uint64_t>(count) <= SIZE_MAX &&
      FileSeek64(file, 0, start) == start) {
    if (TryResize(result, static_cast<size_t>(count))) {
      size_t done = 0;
      while (done < result.size()) {
        DWORD want = static_cast<DWORD>(std::min<size_t>(result.size() - done, 64 * kMiB));
        DWORD got = 0;
        if (!ReadFile(file, &result[done], want, &got, nullptr) || got == 0) break;
        done += got;
      }
      if (done != result.size()) result.clear();
    }
  }
  CloseHandle(file);
  return result;
}

bool SetFileDosDate(HANDLE file, uint32_t dosDateTime) {
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(HIWORD(dosDateTime), LOWORD(dosDateTime), &local)) return false;
  if (!LocalFileTimeToFileTime(&local, &utc)) return false;
  return SetFileTime(file, nullptr, nullptr, &utc) != FALSE;
}

uint32_t FileDosDate(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  WORD date = 0, time = 0;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &date, &time))
    return 0;
  return (uint32_t(date) << 16) | time;
}

size_t SaveChunkSize(size_t dataSize) {
  if (dataSize <= kMiB) return dataSize;
  return std::min(dataSize / 10, kMiB);
}

// Opens path for writing at its end, creating it when missing.
static HANDLE OpenForAppend(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file != INVALID_HANDLE_VALUE && FileSeek64(file, 2, 0) < 0) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

bool SaveToFile(const std::string& path, const std::string& data, uint32_t dosDateTime, bool append) {
  HANDLE file = append ? OpenForAppend(path)
                       : CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  size_t chunk = SaveChunkSize(data.size());
  size_t written = 0;
  while (written < data.size()) {
    DWORD want = static_cast<DWORD>(std::min(chunk, data.size() - written));
    DWORD done = 0;
    if (!WriteFile(file, data.data() + written, want, &done, nullptr) || done == 0) break;
    written += done;
  }
  bool complete = written == data.size();
  if (complete && dosDateTime != 0) SetFileDosDate(file, dosDateTime);
  CloseHandle(file);
  return complete;
}

bool SaveToNewFile(const std::string& path, const std::string& data) {
  DeleteFileA(path.c_str());
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  const bool complete = data.size() <= MAXDWORD &&
                        WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &done, nullptr) &&
                        done == data.size();
  CloseHandle(file);
  return complete;
}

bool AppendToFile(const std::string& path, const std::string& text, uint32_t dosDateTime) {
  if (text.size() > MAXDWORD) return false;
  HANDLE file = OpenForAppend(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  bool complete = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) && done == text.size();
  if (dosDateTime != 0) SetFileDosDate(file, dosDateTime);
  CloseHandle(file);
  return complete;
}

// ---------------------------------------------------------------------------------------
// Drives and free space

std::string DriveRoot(const std::string& path, bool letterOnly) {
  std::string p = ReplaceChar(path, '/', '\\');
  if (p.empty()) return std::string();
  if (letterOnly || p.size() < 3) return std::string(1, UpperChar(p[0])) + ":\\";
  size_t slash = p.find('\\', 3);
  return slash == std::string::npos ? p : p.substr(0, slash);
}

double DiskFreeBytes(const std::string& path) {
  if (!g_diskFreeLookedUp) {
    g_getDiskFreeSpaceEx = LoadProcAs<GetDiskFreeSpaceExFn>("kernel32.dll", "GetDiskFreeSpaceExA");
    g_diskFreeLookedUp = true;
  }
  if (g_getDiskFreeSpaceEx) {
    ULARGE_INTEGER available, total, totalFree;
    if (g_getDiskFreeSpaceEx(DriveRoot(path, false).c_str(), &available, &total, &totalFree) ||
        g_getDiskFreeSpaceEx(DriveRoot(path, true).c_str(), &available, &total, &totalFree))
      return static_cast<double>(available.QuadPart);
    return 0;
  }
  DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
  if (!GetDiskFreeSpaceA(DriveRoot(path, true).c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters))
    return 0;
  return static_cast<double>(freeClusters) * sectorsPerCluster * bytesPerSector;
}

// ---------------------------------------------------------------------------------------
// Searching

// Calls visit(full path) for every real subfolder of folder (not ".", "..", nor linked
// folders), serving window messages after each entry; stops when visit returns true.
template <class Visit>
static bool ForEachSubfolder(const std::string& folder, Visit visit) {
  std::string base = FolderSlash(folder, true);
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((base + "*.*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool stopped = false;
  do {
    // Linked folders are skipped: they can loop back to a parent or lead off the tree.
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsDotEntry(entry.cFileName))
      stopped = visit(base + entry.cFileName);
    PumpMessages();
  } while (!stopped && FindNextFileA(search, &entry));
  FindClose(search);
  return stopped;
}

std::string FindFileInTree(const std::string& folder, const std::string& fileName) {
  std::string candidate = FolderSlash(folder, true) + fileName;
  if (FileExists(candidate)) return candidate;
  std::string found;
  ForEachSubfolder(folder, [&](const std::string& sub) {
    found = FindFileInTree(sub, fileName);
    return !found.empty();
  });
  return found;
}

std::string FindFolderInTree(const std::string& folder, const std::string& folderName) {
  if (EndsWithText("\\" + folderName, WithoutSlash(folder), true)) return folder;
  std::string found;
  ForEachSubfolder(folder, [&](const std::string& sub) {
    found = FindFolderInTree(sub, folderName);
    return !found.empty();
  });
  return found;
}

static bool DriveHasType(char letter, UINT driveType) {
  char root[] = {letter, ':', '\\', '\0'};
  return GetDriveTypeA(root) == driveType;
}

std::string FindFileOnDrives(const std::string& fileName, UINT driveType) {
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (!DriveHasType(letter, driveType)) continue;
    std::string found = FindFileInTree(std::string(1, letter) + ":", fileName);
    if (!found.empty()) return found;
  }
  return std::string();
}

std::string FindFolderOnDrives(const std::string& folderNameOrPath, UINT driveType) {
  if (folderNameOrPath.size() >= 3 && folderNameOrPath.compare(1, 2, ":\\") == 0) {
    char letter = UpperChar(folderNameOrPath[0]);
    if (DriveHasType(letter, driveType) && DirectoryExists(folderNameOrPath)) return folderNameOrPath;
    return std::string();
  }
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (!DriveHasType(letter, driveType)) continue;
    std::string found = FindFolderInTree(std::string(1, letter) + ":", folderNameOrPath);
    if (!found.empty()) return found;
  }
  return std::string();
}

// ---------------------------------------------------------------------------------------
// Deleting

static bool DeleteMatchingFiles(const std::string& mask, bool clearAttributes, bool pump) {
  std::string folder = FolderPart(mask);
  std::vector<std::string> matches;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(mask.c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      // A linked file is marked with a leading '|', which no file name holds: the attributes
      // of a link are its target's, so only the link itself is deleted.
      if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        matches.push_back((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT ? "|" : "") + folder +
                          entry.cFileName);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  // Deleted after the listing is complete, so the search never sees a folder changing under it.
  for (const std::string& match : matches) {
    const bool linked = match[0] == '|';
    const char* path = match.c_str() + (linked ? 1 : 0);
    if (clearAttributes && !linked) SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
    if (pump) PumpMessages();
  }
  return !matches.empty();
}

bool DeleteFiles(const std::string& mask, bool clearAttributes) {
  return DeleteMatchingFiles(mask, clearAttributes, false);
}

static bool IsLinkedFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Opens a real folder (never what a link at path leads to) so that it stays where it is:
// without delete sharing nobody can rename it or put a link in its place while the handle
// is open, so every path below it still leads into this folder. Invalid for a link or when
// the folder cannot be held.
static HANDLE HoldRealFolder(const std::string& path) {
  HANDLE folder = CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return folder;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(folder, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    CloseHandle(folder);
    return INVALID_HANDLE_VALUE;
  }
  return folder;
}

bool DeleteTree(const std::string& folder, bool clearAttributes) {
  if (folder.empty()) return false;
  std::string target = WithoutSlash(folder);
  const DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  // A link named as the folder is only unlinked: emptying it would delete the tree it leads to.
  if (IsLinkedFolder(attributes)) {
    RemoveDirectoryA(target.c_str());
    DebugPidLine(" DeleteTree: a linked folder is not followed: " + target);
    return GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES;
  }
  HANDLE held = HoldRealFolder(target);
  if (held == INVALID_HANDLE_VALUE) {
    DebugPidLine(" DeleteTree: the folder cannot be held, nothing deleted: " + target + " " + SysErrorText());
    return false;
  }
  std::string base = FolderSlash(target, true);
  DeleteMatchingFiles(base + "*.*", clearAttributes, true);
  std::vector<std::string> subfolders, links;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((base + "*.*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsDotEntry(entry.cFileName))
        (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT ? links : subfolders).push_back(base + entry.cFileName);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  // Each subfolder is checked again when its turn comes: it may have become a link meanwhile.
  for (const std::string& sub : subfolders) {
    DeleteTree(sub, clearAttributes);
    PumpMessages();
  }
  // A linked folder is only unlinked: emptying it would delete files outside the tree.
  for (const std::string& link : links) RemoveDirectoryA(link.c_str());
  // A read-only folder cannot be removed on every system. Cleared while the folder is held,
  // so the call cannot reach through a link put in its place.
  if (clearAttributes) SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  CloseHandle(held);
  RemoveDirectoryA(target.c_str());
  return !DirectoryExists(target);
}

// ---------------------------------------------------------------------------------------
// CD eject

bool EjectCD(const std::string& path) {
  if (path.empty()) return false;
  char letter = UpperChar(path[0]);
  if (letter < 'A' || letter > 'Z' || !DriveHasType(letter, DRIVE_CDROM)) return false;
  std::string device = std::string("\\\\.\\") + letter + ":";
  HANDLE drive = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  DebugPidLine("EjectCD-2: " + device + " " + IntText(reinterpret_cast<INT_PTR>(drive)));
  if (drive == INVALID_HANDLE_VALUE)
    drive = CreateFileA(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                        nullptr);
  DebugPidLine("EjectCD-3: " + device + " " + IntText(reinterpret_cast<INT_PTR>(drive)));
  if (drive == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  bool ejected = DeviceIoControl(drive, 0x2D4808 /* IOCTL_STORAGE_EJECT_MEDIA */, nullptr, 0, nullptr, 0,
                                 &returned, nullptr) != FALSE;
  CloseHandle(drive);
  return ejected;
}

}  // namespace stub
