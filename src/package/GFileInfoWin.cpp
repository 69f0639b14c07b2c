#include <windows.h>

#include "package/GFileInfo.h"

namespace stub {

double TGFileInfo::GetSpaceNeeded(const std::string& path) const {
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  uint64_t clusterSize = 0;
  std::string root = path.substr(0, 3);
  if (GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
    clusterSize = uint64_t(sectorsPerCluster) * bytesPerSector;
  return SpaceNeededForCluster(trailer_, clusterSize);
}

}  // namespace stub
