// Where the two update description files lie: the ".info" file that the maker publishes with
// an update (the agent keeps a fresh copy of it) and the ".original" file that the product's
// installation leaves next to the agent. Both are named after the settings record's field 1.
#pragma once

#include <string>
#include <vector>

namespace stub {

// folder ends with a backslash. Field 1 "Product.info" gives folder + "Product.info" and
// folder + "Product.original"; "My.Product.info" gives "My.Product.info" and "My.original".
// A field without a file name gives no file (an empty path).
std::string InfoFileIn(const std::string& folder, const std::string& infoField);
std::string OriginalFileIn(const std::string& folder, const std::string& infoField);

// Whether a shortcut that the description files ask to remove may be deleted: a full path
// ("X:\...") of a ".lnk" file somewhere below one of the folders (the user's and all users'
// Startup and Programs folders), without "." or ".." parts, streams, wildcards or the
// trailing dots and blanks that the system would drop. Case is ignored.
bool IsRemovableShortcut(const std::string& path, const std::vector<std::string>& folders);

}  // namespace stub
