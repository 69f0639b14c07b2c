#include "stub/SelfCopyPlan.h"

#include "support/Text.h"

namespace stub {

std::string ResidentCopyArguments(const std::string& transient, const std::string& delay) {
  std::string arguments;
  if (!transient.empty()) arguments += " /TRANSIENTx=" + transient;
  if (!delay.empty()) arguments += " /SleepX=" + delay;
  return arguments;
}

std::string RelaunchArguments(const std::string& tail, const std::string& ownPath) {
  return Trim(tail + " /SpanCdLvl=2 /SpanDiskFName1=\"" + ownPath + ".001\" /OriginExe=\"" + ownPath + "\"");
}

std::string DeleteMeBatchPath(const std::string& tempFolderWithSlash, unsigned long processId) {
  return tempFolderWithSlash + "_DEL_ME_" + IntText(static_cast<int64_t>(processId)) + ".BAT";
}

static std::string Quoted(const std::string& path) { return "\"" + ReplaceText(path, "%", "%%") + "\""; }

std::string DeleteMeBatchText(const DeleteMeBatch& b) {
  const std::string crlf = "\r\n";
  std::string text = "@ECHO OFF" + crlf;
  text += "SET /A _DEL_ME_TRIES=0" + crlf;
  text += ":START" + crlf;
  text += "DEL " + Quoted(b.exe) + " 2>NUL" + crlf;
  text += "IF NOT EXIST " + Quoted(b.exe) + " GOTO GONE" + crlf;
  // Bounded: a file that can never be deleted must not keep the loop alive.
  text += "SET /A _DEL_ME_TRIES+=1" + crlf;
  text += "IF %_DEL_ME_TRIES% GEQ " + IntText(b.tries) + " GOTO GONE" + crlf;
  text += Quoted(b.ping) + " -n 2 127.0.0.1 >NUL" + crlf;
  text += "GOTO START" + crlf;
  text += ":GONE" + crlf;
  if (b.removeFolder) text += "RD " + Quoted(b.folder) + " 2>NUL" + crlf;
  text += "DEL " + Quoted(b.path) + crlf;
  return text;
}

}  // namespace stub
