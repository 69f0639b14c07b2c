// What stubpack reads of a PE header: where its certificate table (an Authenticode
// signature) lies. Signing tools append that table at the end of the file and point the
// header's security directory at it.
#pragma once

#include <cstdint>

#include "package/ByteSource.h"

namespace stubpack {

struct CertificateTable {
  bool present = false;
  uint32_t offset = 0;  // a file offset, not an address
  uint32_t size = 0;
};

CertificateTable FindCertificateTable(stub::ByteSource& file);

// A program Windows can start: "MZ", the PE signature where the header points, and an
// executable image that is not a DLL.
bool IsWindowsProgram(stub::ByteSource& file);

}  // namespace stubpack
