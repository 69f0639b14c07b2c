#include <windows.h>

#include "autoupdate/AgentControl.h"
#include "autoupdate/StubGlob.h"

#include "support/Text.h"
#include "support/VDebug.h"

namespace stub {

void Notify(uint32_t code, intptr_t value) {
  const AgentControlState& s = AgentState();
  if (!s.NotifyWindow || !s.NotifyMessage) return;
  PostMessageA(reinterpret_cast<HWND>(s.NotifyWindow), s.NotifyMessage, code, value);
}

bool HandleAgentMessage(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result) {
  AgentControlState& s = AgentState();
  switch (message) {
    case wm_ShutDown:
      DebugPidLine(" wm_ShutDown " + IntText(static_cast<int32_t>(wParam)));
      s.StopCountdown = static_cast<int32_t>(wParam);
      return false;
    case wm_LocalMsg:
      DebugPidLine(" wm_LocalMsg " + IntText(static_cast<int64_t>(wParam)) + " " + IntText(lParam));
      s.NotifyWindow = wParam;
      s.NotifyMessage = static_cast<uint32_t>(lParam);
      Notify(kNotifyWindow, static_cast<intptr_t>(window));
      Notify(kNotifyAgentMessage, wm_AgentMsg);
      return false;
    case wm_AgentMsg: {
      DebugPidLine(" wm_AgentMsg " + IntText(static_cast<int32_t>(wParam)) + " " +
                   IntText(static_cast<int32_t>(lParam)));
      result = AgentCommand(static_cast<int32_t>(wParam), static_cast<int32_t>(lParam), &AgentDescriptions());
      return true;
    }
    default:
      return false;
  }
}

}  // namespace stub
