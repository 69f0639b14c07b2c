// The exit codes of a stub process whose setup did not end in the engine. Whenever the engine
// ran, its own code is passed on unchanged; the codes here follow the Windows installer's, which
// deployment tools and scripts already understand. Retired numbers are never reused.
#pragma once

#include <cstdint>

namespace stub {

// Nothing went wrong (also a stub that handed its work to another process of its own).
constexpr uint32_t kExitSuccess = 0;
// The user declined or cancelled: a question answered No, a disk prompt cancelled, the
// window closed (ERROR_INSTALL_USEREXIT).
constexpr uint32_t kExitUserCancel = 1602;
// A fatal failure: extraction could not write its files, the engine could not be started
// (ERROR_INSTALL_FAILURE).
constexpr uint32_t kExitFailure = 1603;
// Another run of the same setup file is in progress; this one did nothing
// (ERROR_INSTALL_ALREADY_RUNNING).
constexpr uint32_t kExitAlreadyRunning = 1618;
// The package could not be reached: no connection, a failed or cut download, a missing disk
// (ERROR_INSTALL_SOURCE_ABSENT).
constexpr uint32_t kExitSourceAbsent = 1612;
// The package is not this stub's or is damaged: a bad checksum, a damaged record, another
// secret token, an error page in place of the package (ERROR_INSTALL_PACKAGE_INVALID).
constexpr uint32_t kExitPackageInvalid = 1620;

}  // namespace stub
