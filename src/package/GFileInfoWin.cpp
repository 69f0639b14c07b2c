#include <windows.h>

#include "package/GFileInfo.h"

#include <memory>

#include "support/Utils.h"

namespace stub {

// The reader on the own file; see PackageInfo.
static std::unique_ptr<TGFileInfo> g_packageInfo;

TGFileInfo& PackageInfo() {
  if (!g_packageInfo) g_packageInfo.reset(new TGFileInfo(ExeFileName(false)));
  return *g_packageInfo;
}

void ClosePackageInfo() { g_packageInfo.reset(); }

double TGFileInfo::GetSpaceNeeded(const std::string& path) const {
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  uint64_t clusterSize = 0;
  std::string root = path.substr(0, 3);
  if (GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
    clusterSize = uint64_t(sectorsPerCluster) * bytesPerSector;
  return SpaceNeededForCluster(trailer_, clusterSize);
}

}  // namespace stub
