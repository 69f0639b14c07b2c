// Folders that only this run may change: made where nothing was before (FreshFolder.h), with
// an access list that lets nobody but the token's owner, the administrators and the system
// write in them. Whatever is extracted inside inherits that list.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/FreshFolder.h"

namespace stub {

// The access list of such a folder, each entry inherited by the files and folders made in it:
// full control for the owner of this process's token (the administrators when it runs
// elevated), the administrators and the system; read and run for the token's user, whose
// non-elevated programs may read what the setup left but write nothing. Empty when the
// system cannot say who owner and user are.
std::vector<BYTE> PrivateFolderAcl();

// Creates folder with that list, not merged with what its parent passes on. Never takes over
// what is already under that name: that is Exists, whatever it is.
MakeFolderResult CreatePrivateFolder(const std::string& folder);

// MakeFreshFolder on this machine, every folder made with CreatePrivateFolder; the name's
// missing parents are made first (as ordinary folders).
std::string MakeFreshPrivateFolder(const FreshFolderRequest& request);

}  // namespace stub
