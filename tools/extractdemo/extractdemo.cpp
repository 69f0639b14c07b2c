// extractdemo: runs ExtractPackage as the setup driver does and prints what it reported, so
// that the end-to-end tests can check files, progress calls and results.
//
//   extractdemo PACKAGE DESTINATION [options]
//     --agent NAME        agent file name (an agent copy is written)
//     --force-prompt      ask for every following disk
//     --prompt TEXT       disk prompt (default: the stub's own, with <DISK_NUM>)
//     --caption TEXT      disk prompt caption (default Attention)
//     --buttons LIST      button texts (default |&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|)
//     --charset N         character set of the boxes
//     --repeat N          extract N times (the save-failure box shows once per process)
//
// Prints "pid N" first, then "progress KIND MAX STEP POS" for every progress call, and at
// the end "outcome NAME", "checksum TRUE|FALSE", "mainfile TEXT", "savefailures N".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "package/UnPack.h"
#include "support/Text.h"
#include "support/VDebug.h"
#include "ui/VMsgBox.h"

using namespace stub;

namespace {

void PrintProgress(int kind, int64_t maximum, const std::string& text, int step, int position) {
  std::printf("progress %d %s %d %d%s%s\n", kind, IntText(maximum).c_str(), step, position, text.empty() ? "" : " ",
              text.c_str());
  std::fflush(stdout);
}

int Usage() {
  std::fprintf(stderr, "usage: extractdemo PACKAGE DESTINATION [--agent NAME] [--force-prompt] [--prompt TEXT]\n"
                       "       [--caption TEXT] [--buttons LIST] [--charset N] [--repeat N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string package = argv[1], destination = argv[2];
  std::string agent, prompt = "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue";
  std::string caption = "Attention", buttons = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
  int charset = 0, repeat = 1;
  bool forcePrompt = false;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--agent" && more) agent = argv[++i];
    else if (a == "--force-prompt") forcePrompt = true;
    else if (a == "--prompt" && more) prompt = argv[++i];
    else if (a == "--caption" && more) caption = argv[++i];
    else if (a == "--buttons" && more) buttons = argv[++i];
    else if (a == "--charset" && more) charset = std::atoi(argv[++i]);
    else if (a == "--repeat" && more) repeat = std::atoi(argv[++i]);
    else return Usage();
  }
  std::printf("pid %lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
  std::fflush(stdout);
  InitMsgBox();
  for (int run = 0; run < repeat; ++run) {
    bool checksumOk = false;
    std::string mainFile;
    ExtractOutcome outcome = ExtractPackage(package, destination, agent, checksumOk, PrintProgress, prompt, caption,
                                            buttons, charset, forcePrompt, mainFile);
    std::printf("outcome %s\nchecksum %s\nmainfile %s\nsavefailures %d\n", OutcomeName(outcome), BoolText(checksumOk),
                mainFile.c_str(), SaveFailureCount());
    std::fflush(stdout);
  }
  DoneMsgBox();
  return 0;
}
