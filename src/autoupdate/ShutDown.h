// Stopping the running product before its update is installed, by the method the update
// description names, and the product's state afterwards.
#pragma once

#include <string>

namespace stub {

// The notice of the message-box method: its text (PROG_NAME not yet replaced) and box.
struct ShutDownNotice {
  std::string text;
  std::string caption;
  int charset = 0;
  std::string buttons;
};

enum class ProductState {
  kNotRunning,    // it did not run: install, nothing to restart
  kStopped,       // it ran and has ended: install, and restart it if the description asks
  kStillRunning,  // it was asked to end and still runs after the wait: do not install over it
  kLeftRunning,   // "Don't Shut Down": install over the running product, nothing to restart
};

// The product is the program started from path (the expanded RunningProcess). Asked to end,
// it has waitLimitMs to do so; only the message-box method waits as long as the user takes.
// Processes are matched strictly (the same file), so a program of the same name elsewhere is
// neither stopped nor waited for. Writes the "Shut Down Process()" lines of the run log.
ProductState ShutDownProduct(const std::string& path, const std::string& method, const ShutDownNotice& notice,
                             unsigned waitLimitMs);

// What the agent gives a product to end after a close request or a termination.
constexpr unsigned kProductEndLimitMs = 60000;

}  // namespace stub
