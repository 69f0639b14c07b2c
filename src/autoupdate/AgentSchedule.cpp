#include "autoupdate/AgentSchedule.h"


namespace stub {

static const int64_t kSecondsPerDay = 86400;

// Days from 1899-12-30 to a date of the proleptic Gregorian calendar. Days fit 32 bits for
// any year a clock or a file can name, and 32-bit arithmetic keeps 64-bit division helpers
// out of the program.
static int32_t DaysFromEpoch(int32_t year, int32_t month, int32_t day) {
  if (year < -1000000 || year > 1000000) year = year < 0 ? -1000000 : 1000000;
  year -= month <= 2;
  const int32_t era = (year >= 0 ? year : year - 399) / 400;
  const int32_t yearOfEra = year - era * 400;
  const int32_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int32_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  // 693899 days lie between 0000-03-01 and 1899-12-30.
  return era * 146097 + dayOfEra - 693899;
}

int64_t AgentSeconds(const CivilTime& t) {
  const int64_t seconds = static_cast<int64_t>(DaysFromEpoch(t.year, t.month, t.day)) * kSecondsPerDay +
                          t.hour * 3600 + t.minute * 60 + t.second;
  return seconds + (t.millisecond >= 500 ? 1 : 0);
}

CivilTime CivilOfAgentSeconds(int64_t seconds) {
  // Some two and a half million years either way: far beyond any clock, and days stay 32-bit.
  const int64_t kLimit = 900000000LL * kSecondsPerDay;
  if (seconds > kLimit) seconds = kLimit;
  if (seconds < -kLimit) seconds = -kLimit;
  // The day by floating division (exact for any value a file holds), corrected to the floor.
  int32_t days = static_cast<int32_t>(static_cast<double>(seconds) / kSecondsPerDay);
  int64_t rest = seconds - static_cast<int64_t>(days) * kSecondsPerDay;
  while (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  while (rest >= kSecondsPerDay) {
    rest -= kSecondsPerDay;
    ++days;
  }
  const int32_t secondOfDay = static_cast<int32_t>(rest);
  // The inverse of DaysFromEpoch.
  const int32_t z = days + 693899;
  const int32_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int32_t dayOfEra = z - era * 146097;
  const int32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int32_t mp = (5 * dayOfYear + 2) / 153;
  CivilTime t;
  t.day = dayOfYear - (153 * mp + 2) / 5 + 1;
  t.month = mp < 10 ? mp + 3 : mp - 9;
  t.year = yearOfEra + era * 400 + (t.month <= 2);
  t.hour = secondOfDay / 3600;
  t.minute = secondOfDay / 60 % 60;
  t.second = secondOfDay % 60;
  t.millisecond = 0;
  return t;
}

// Sums that no value read from a file can make overflow: the schedule keys are 64-bit, and a
// vendor's typo of a huge number must not wrap into "due" or "never".
static int64_t SaturatingAdd(int64_t a, int64_t b) {
  if (b > 0 && a > INT64_MAX - b) return INT64_MAX;
  if (b < 0 && a < INT64_MIN - b) return INT64_MIN;
  return a + b;
}

int ShotStatus(const ShotFacts& f) {
  if (!f.probingActive && !f.shotForced) return 0;
  int status = 0;
  const int64_t interval = f.testModeActive ? 5 : f.probeInterval;
  if (f.now >= SaturatingAdd(f.probeLast, interval)) status = 1;
  if (f.probeInterval == 0 && status == 1) status = 2;
  if (f.probeInterval == -1) status = 0;
  if (f.shotForced) status = 1;
  return status;
}

std::string UpdateCheckText(int code) {
  static const char* const kTexts[] = {"Error downloading .INFO file", "Error reading .ORIGINAL file",
                                       "Too early for retesting", "New version is not higher then old version",
                                       "\"Valid for version\" mismatch", "Download file size error", "OK"};
  return code >= 0 && code <= kCheckOk ? kTexts[code] : "";
}

bool ReAskTimeHasCome(int64_t reAskLast, int64_t reAskInterval, int64_t now) {
  return reAskInterval > 0 && SaturatingAdd(reAskLast, reAskInterval) < now;
}

bool VersionAdmitted(const std::string& validVersions, int32_t versionOriginal) {
  if (validVersions.empty()) return true;
  return ("," + validVersions + ",").find("," + IntText(versionOriginal) + ",") != std::string::npos;
}

bool SizeMatches(int64_t actual, int32_t expected) {
  if (actual < 0) return false;
  const int64_t difference = actual - expected;
  return difference > -100 && difference < 100;
}

int CheckBeforeSize(const UpdateFacts& f) {
  if (!f.infoFetched) return kCheckInfoNotFetched;
  if (f.versionOriginal <= 0) return kCheckOriginalUnreadable;
  if (f.stampNew == f.stampOriginal && !ReAskTimeHasCome(f.reAskLast, f.reAskInterval, f.now) && !f.testCycle)
    return kCheckTooEarly;
  if (!(f.versionOriginal < f.versionNew)) return kCheckVersionNotHigher;
  if (!VersionAdmitted(f.validVersions, f.versionOriginal)) return kCheckVersionNotValid;
  return kCheckSizeMismatch;
}

}  // namespace stub
