#include "support/FreshFolder.h"

namespace stub {

std::string MakeFreshFolder(const FreshFolderRequest& request, FreshFolderHost& host) {
  MakeFolderResult made = host.MakeFolder(request.name);
  if (made == MakeFolderResult::Created) return request.name;
  if (made == MakeFolderResult::Exists) {
    const PathHolds holds = host.WhatIsAt(request.name);
    if (holds == PathHolds::PlainFolder && request.removeOld) {
      // Made again by this call, so nobody's files or links survive in it.
      if (host.RemoveFolder(request.name) && host.MakeFolder(request.name) == MakeFolderResult::Created)
        return request.name;
      host.Log("Folder left from before could not be removed: " + request.name);
    } else {
      host.Log(std::string(holds == PathHolds::Other ? "A file or link is in the way, left alone: "
                                                     : "The name is taken, not used: ") +
               request.name);
    }
  } else {
    host.Log("Folder cannot be made: " + request.name);
  }
  for (int i = 0; i < request.alternates; ++i) {
    const std::string candidate = request.alternatePrefix + host.RandomNumber();
    made = host.MakeFolder(candidate);
    if (made == MakeFolderResult::Created) {
      host.Log("Folder made under another name: " + candidate);
      return candidate;
    }
    // A parent that refuses one name refuses them all; a taken name is only bad luck.
    if (made == MakeFolderResult::Failed) break;
  }
  host.Log("No folder could be made fresh for " + request.name);
  return std::string();
}

}  // namespace stub
