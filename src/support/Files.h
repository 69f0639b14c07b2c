// File and disk operations shared by the stub: 64-bit positions and sizes, whole or partial
// reads into a string, writes and appends with a file date, free space, tree searches and
// deletion, and the eject of a CD. Failures are reported only through the result.
// Names without extensions are in Text.h (NameWithoutExt).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace stub {

// Moves an open file's position; origin 0 start, 1 current, 2 end. The new position, or -1.
int64_t FileSeek64(HANDLE file, int origin, int64_t offset);
// Size of an open file, or -1 when the system cannot tell.
int64_t FileSizeOfHandle(HANDLE file);
// Size from the directory entry of the first match for path; 0 when nothing matches.
int64_t FileSizeByName(const std::string& path);

bool FileExists(const std::string& path);       // a file (not a folder) is at path
bool DirectoryExists(const std::string& path);  // a folder is at path
// Creates the folder and every missing parent; true when the folder exists afterwards.
bool ForceDirectories(const std::string& path);

// Up to maximum bytes (0 = all) of the file from start on; empty on any failure, when start
// is outside the file, or when fewer bytes than expected could be read.
std::string ReadFilePart(const std::string& path, int64_t maximum, int64_t start);

// Sets the last-write time of an open file from a packed DOS date-time of the local clock
// (date in the high 16 bits, time in the low 16 bits).
bool SetFileDosDate(HANDLE file, uint32_t dosDateTime);
// The last-write time of the file at path in that form; 0 when it cannot be read.
uint32_t FileDosDate(const std::string& path);
// Bytes per write call for data of the given size: data above 1 MiB goes in tenths of at
// most 1 MiB, anything smaller in one call.
size_t SaveChunkSize(size_t dataSize);
// Writes data to path, replacing the file or appending to it (created when missing); date 0
// leaves the file date alone. True when every byte was written.
bool SaveToFile(const std::string& path, const std::string& data, uint32_t dosDateTime, bool append);
// Writes data to a file that this call creates: an existing file at path is deleted first,
// and the write fails rather than reuse a file that reappears in between (a link someone
// planted). True when every byte was written.
bool SaveToNewFile(const std::string& path, const std::string& data);
// Appends text in one write (the file is created when missing); true when every byte was written.
bool AppendToFile(const std::string& path, const std::string& text, uint32_t dosDateTime);

// What to pass to the free-space query for path: "C:\Temp\SETUP_1\" gives "C:\Temp", with
// letterOnly (or for paths shorter than 3 characters) "C:\".
std::string DriveRoot(const std::string& path, bool letterOnly);
// Free bytes available to the caller on the drive of path; 0 on failure.
double DiskFreeBytes(const std::string& path);

// Tree searches; each serves the thread's window messages after every entry so the stub
// window stays responsive. Linked folders (reparse points) are not entered.
std::string FindFileInTree(const std::string& folder, const std::string& fileName);
std::string FindFileOnDrives(const std::string& fileName, UINT driveType);
// The first folder at or below folder whose path ends with "\" + folderName (case ignored).
std::string FindFolderInTree(const std::string& folder, const std::string& folderName);
// A full path ("X:\...") is returned when its drive has the type and the folder exists; a
// bare name is searched on the drives C: to Z: of that type.
std::string FindFolderOnDrives(const std::string& folderNameOrPath, UINT driveType);

// Deletes the files matching mask (no folders); clearAttributes makes read-only, hidden and
// system files deletable. True when at least one file matched, deleted or not.
bool DeleteFiles(const std::string& mask, bool clearAttributes);
// Deletes folder with everything in it. True when it existed and is gone afterwards. Links
// are never followed: a linked folder, inside or at folder itself, is only unlinked, and a
// linked file is deleted as a link without touching its target's attributes.
bool DeleteTree(const std::string& folder, bool clearAttributes);

// Ejects the media of the CD drive holding path; false for any other kind of drive.
bool EjectCD(const std::string& path);

}  // namespace stub
