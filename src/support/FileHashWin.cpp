#include <windows.h>
#include <wincrypt.h>

#include "support/FileHash.h"
#include "support/Sha256.h"

// The build targets XP, whose headers hide the SHA-2 ids that SP3 brought.
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | 12)  // ALG_SID_SHA_256
#endif

namespace stub {

std::string FileSha256(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string hex;
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  // The AES provider is the one that knows SHA-256 (from XP SP3 on).
  if (CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
      CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
    static BYTE buffer[64 * 1024];
    bool ok = true;
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) ok = false;  // a read error is no hash
      if (!ok || got == 0) break;
      ok = CryptHashData(hash, buffer, got, 0) != FALSE;
    }
    BYTE digest[32];
    DWORD size = sizeof digest;
    if (ok && CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) && size == sizeof digest)
      hex = HexOf(digest, size);
  }
  if (hash) CryptDestroyHash(hash);
  if (provider) CryptReleaseContext(provider, 0);
  CloseHandle(file);
  return hex;
}

}  // namespace stub
