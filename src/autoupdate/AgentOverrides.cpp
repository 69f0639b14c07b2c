#include "autoupdate/AgentOverrides.h"

#include "support/Text.h"
#include "support/VSUB.h"

namespace stub {

// The overrides of this process; they live as long as it and reach a restarted agent only
// through its command line.
static uint8_t g_overrides[kOverrideCount] = {255, 255, 255, 255, 255, 255, 255, 255};

void SetOverride(int position, uint8_t value) {
  if (position >= 0 && position < kOverrideCount) g_overrides[position] = value;
}

uint8_t GetOverride(int position) {
  return (position >= 0 && position < kOverrideCount) ? g_overrides[position] : 255;
}

bool AskBeforeProbe() { return g_overrides[kOverrideAskBeforeProbe] == 1; }

std::string OverrideList() {
  std::string text = "|";
  for (uint8_t value : g_overrides) text += IntText(value) + "|";
  return text;
}

void ApplyOverrideList(const std::string& text) {
  for (int i = 0; i < kOverrideCount; ++i)
    g_overrides[i] = static_cast<uint8_t>(SubGetInt(text, i, g_overrides[i]));
}

void ResetOverridesForTesting() {
  for (uint8_t& value : g_overrides) value = 255;
}

}  // namespace stub
