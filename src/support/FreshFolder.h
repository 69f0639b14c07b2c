// How a folder for one run is made where nothing was before. The elevated stub makes its
// folders in places that others can write (the temporary folder, C:\TEMP), where a file, a
// folder full of planted files or a link to another tree may already wait under the name it
// wants; it never takes over any of them. The walk runs over a small host, so that a test
// can put such things in its way; the Windows host is PrivateFolder.h.
#pragma once

#include <string>

namespace stub {

enum class MakeFolderResult {
  Created,  // the folder was made by this call
  Exists,   // something (a file, a folder, a link) is already under that name
  Failed,   // the system refused for another reason (a missing parent, no rights)
};

// What is under a name, as far as the decision goes.
enum class PathHolds {
  Nothing,
  PlainFolder,  // a real folder, not a link to one
  Other,        // a file, a linked folder, a device, anything else
};

class FreshFolderHost {
 public:
  virtual ~FreshFolderHost() = default;
  // Makes the folder only when nothing is under path; its parent must exist.
  virtual MakeFolderResult MakeFolder(const std::string& path) = 0;
  virtual PathHolds WhatIsAt(const std::string& path) = 0;
  // Deletes a plain folder with everything in it, never through a link; true when it is gone.
  virtual bool RemoveFolder(const std::string& path) = 0;
  // A random number from 10000 to 100000, as text.
  virtual std::string RandomNumber() = 0;
  virtual void Log(const std::string& line) = 0;
};

struct FreshFolderRequest {
  std::string name;             // the folder wanted
  bool removeOld = false;       // a plain folder under name (left by an earlier run) is removed first
  std::string alternatePrefix;  // else the folder is alternatePrefix + a random number
  int alternates = 20;          // names tried that way before giving up
};

// The folder made, or "" when no name could be made fresh. A plain folder under the name is
// removed first only when the request allows it; a file or a link is left as it is, and the
// folder then gets another name.
std::string MakeFreshFolder(const FreshFolderRequest& request, FreshFolderHost& host);

}  // namespace stub
