// The stub never runs long from the file a user or an installer started: the plain agent
// copies itself to "X_" + its name and starts that resident copy; a setup whose trailer asks
// for it relaunches from a copy in the temporary folder; and every copy removes itself when
// it ends, through a batch file that waits until the copy's file can be deleted.
#pragma once

#include <string>

namespace stub {

// Folder of path + "X_" + its file name.
std::string ResidentCopyPath(const std::string& ownPath);

// The plain agent: makes and starts the resident copy, unless one runs and no restart
// ("/_ZZ=99") was asked for.
void CreateAndRun_X_Exe();

// Copies the running file to "Y_" + its name in the setup's temporary folder and starts the
// copy on the package's first disk file beside the started file. Sets the exit code: success
// when the copy was started, failure when it could not be written or started.
void RelaunchFromTempCopy();

// Writes and starts the batch file that deletes the running file (and, with removeFolder, its
// folder when that is empty) once this process has ended. Nothing is started when the batch
// could not be written whole.
void DeleteMySelf(bool removeFolder);

// Starts a command line hidden, as the copies are started; false when it did not start.
bool StartHidden(const std::string& commandLine);

}  // namespace stub
