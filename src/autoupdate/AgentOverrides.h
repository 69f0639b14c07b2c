// Eight process-wide bytes that override the update switches of the description file, and
// their text form "|255|1|255|...|". 255 means "as the file says"; 1 on; anything else off.
#pragma once

#include <cstdint>
#include <string>

namespace stub {

enum OverridePosition {
  kOverrideAskBeforeProbe = 0,
  kOverrideRequestConfirmationBeforeDownload = 1,
  kOverrideRequestConfirmationBeforeInstall = 2,
  kOverrideBackgroundUpdate = 3,
  kOverrideInformFinish = 4,
  kOverrideRestartProcess = 5,
  kOverrideRequestConfirmationBeforeDownloadForce = 6,
  kOverrideRequestConfirmationBeforeInstallForce = 7,
  kOverrideCount = 8,
};

void SetOverride(int position, uint8_t value);
uint8_t GetOverride(int position);
bool AskBeforeProbe();
std::string OverrideList();
void ApplyOverrideList(const std::string& text);
void ResetOverridesForTesting();

}  // namespace stub
