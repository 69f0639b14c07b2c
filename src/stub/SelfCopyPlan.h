// The texts of the agent's self-copy, the relaunch from a temporary copy and the
// self-deletion: command-line arguments and the batch file that removes a copy once its
// process has ended.
#pragma once

#include <string>

namespace stub {

// What the plain agent hands the resident copy it starts: " /TRANSIENTx=" + transient and
// " /SleepX=" + delay, each only when given.
std::string ResidentCopyArguments(const std::string& transient, const std::string& delay);

// The command-line tail of the temporary copy: the started stub's own arguments, then where
// its package's first disk lies and which file the user started.
std::string RelaunchArguments(const std::string& tail, const std::string& ownPath);

// "_DEL_ME_" + process id + ".BAT" in the given folder (with trailing backslash): a name of
// its own per process, so that two copies ending together do not overwrite each other's batch.
std::string DeleteMeBatchPath(const std::string& tempFolderWithSlash, unsigned long processId);

struct DeleteMeBatch {
  std::string exe;        // the file to delete once its process has ended
  std::string folder;     // removed afterwards when removeFolder (only if it is empty)
  bool removeFolder = false;
  std::string path;       // the batch file itself, deleted last
  // The system's ping program by its full path: two echoes to the loopback address take about
  // a second, the one wait that every Windows (and Wine) has without a program of ours.
  std::string ping;
  int tries = 60;         // the loop gives up after this many waits, about a minute
};
// The batch text, lines ending in CR LF. Percent signs in paths are doubled, as cmd would
// otherwise expand them.
std::string DeleteMeBatchText(const DeleteMeBatch& batch);

}  // namespace stub
