// The fuzz targets: one per parser of outside data, each taking arbitrary bytes. libFuzzer
// runs them one binary per target (tests/fuzz/FuzzMain.cpp, scripts/fuzz.sh); the native
// tests replay the checked-in seeds and damaged packages through the same functions. A
// target aborts when a parser breaks a rule that holds for every input, such as a file
// written outside the destination folder; the sanitizers catch the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "package/UnPackCore.h"

namespace stubfuzz {

typedef void (*TargetFunction)(const uint8_t* data, size_t size);
struct FuzzTarget {
  const char* name;  // also the folder of its seeds (tests/fuzz/corpus/NAME) and its dictionary
  TargetFunction run;
};
const std::vector<FuzzTarget>& FuzzTargets();
// Null when there is no target of that name.
TargetFunction FindTarget(const std::string& name);

// Everything a parser keeps for the whole process goes back to its state at start, so that
// one input cannot change what the next one does (the language section chosen once, the
// count of save failures, the inflate ceiling, the pinned language).
void ResetProcessState();

// The extraction target's input: one options byte, then the disk files separated by
// kDiskSeparator. The options: bit 0 names the first file "setup.exe" (else
// "setup.exe.001"), bit 1 runs unattended, bit 2 asks for every disk, bit 3 answers No to
// every disk prompt.
extern const char kDiskSeparator[];
std::string ExtractionInput(uint8_t options, const std::vector<std::string>& disks);

// One run of the extraction target, for the tests that check the seeds reach deep.
struct ExtractionRun {
  stub::ExtractOutcome outcome = stub::ExtractOutcome::Completed;
  std::string mainFile;
  std::map<std::string, std::string> written;  // full path -> bytes
};
ExtractionRun RunExtractionInput(const uint8_t* data, size_t size);
// The destination folder of that run, without trailing backslash.
extern const char kDestination[];

// True when path, as Windows resolves it, names something inside folder: it begins with
// folder + "\", and its further components never climb above folder ("..", and "..." or
// ".. " which Windows trims to ".."), hold no ":" (drives, streams) and name no device.
bool StaysInside(const std::string& folder, const std::string& path);

}  // namespace stubfuzz
