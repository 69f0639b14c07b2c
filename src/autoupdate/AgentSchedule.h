// The arithmetic of the agent's schedule and of its update check, apart from the files that
// hold the values: agent seconds (the clock of every schedule value), whether a probe is
// due, and the codes of the check that decides whether a fetched description applies.
#pragma once

#include <cstdint>
#include <string>

#include "support/Text.h"

namespace stub {

// Local time in whole seconds since 1899-12-30 00:00, rounded to the nearest second.
int64_t AgentSeconds(const CivilTime& t);
// The moment of an agent-seconds value, for the readable twins of the schedule keys.
CivilTime CivilOfAgentSeconds(int64_t seconds);

// What decides whether a tick probes.
struct ShotFacts {
  bool probingActive = true;  // false after the one probe of an interval of 0
  bool shotForced = false;    // a probe was asked for (agent command 31)
  bool testModeActive = false;
  int64_t probeInterval = 0;  // ProbeSecondsInterval: 0 once per run, -1 never, other negatives always
  int64_t probeLast = 0;      // ProbeSecondsLast
  int64_t now = 0;            // agent seconds
};
// 0 no probe, 1 probe due, 2 the one probe of an interval of 0. In test mode the interval is
// 5 seconds; a forced probe is always due.
int ShotStatus(const ShotFacts& facts);

// The result codes of the update check, in the order its tests run.
enum UpdateCheckCode {
  kCheckInfoNotFetched = 0,
  kCheckOriginalUnreadable = 1,
  kCheckTooEarly = 2,
  kCheckVersionNotHigher = 3,
  kCheckVersionNotValid = 4,
  kCheckSizeMismatch = 5,
  kCheckOk = 6,
};
// The text of a code: "Error downloading .INFO file" ... "OK".
std::string UpdateCheckText(int code);

struct UpdateFacts {
  bool infoFetched = false;
  int32_t versionOriginal = 0;  // [OriginalSetup] VersionOriginal
  int32_t stampOriginal = 0;    // [OriginalSetup] Stamp
  int32_t stampNew = 0;         // [NewSetup] Stamp
  int64_t reAskLast = 0;
  int64_t reAskInterval = 0;
  int64_t now = 0;
  bool testCycle = false;       // a test cycle passes the Stamp test
  int32_t versionNew = 0;
  std::string validVersions;    // "3,4,7"; empty: all
};
// The code the tests reach before the size test: 0..4 where one fails, 5 when only the size
// test is left.
int CheckBeforeSize(const UpdateFacts& facts);

// An update with the Stamp already handled is offered again once ReAskSecondsLast +
// ReAskSecondsInterval lies strictly behind now and the interval is positive.
bool ReAskTimeHasCome(int64_t reAskLast, int64_t reAskInterval, int64_t now);
// ValidVersions admits the installed version when it is empty or lists it between commas.
bool VersionAdmitted(const std::string& validVersions, int32_t versionOriginal);
// The file measures within 100 bytes of what the description announces. A size that could
// not be measured (-1) never passes.
bool SizeMatches(int64_t actual, int32_t expected);

}  // namespace stub
