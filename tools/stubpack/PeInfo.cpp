#include "PeInfo.h"

#include "package/PackageLayout.h"

namespace stubpack {

static bool U32At(stub::ByteSource& file, int64_t offset, uint32_t& value) {
  uint8_t raw[4];
  if (file.ReadAt(offset, raw, 4) != 4) return false;
  value = stub::ReadU32LE(raw);
  return true;
}

CertificateTable FindCertificateTable(stub::ByteSource& file) {
  CertificateTable table;
  uint32_t header = 0, signature = 0, magicWord = 0;
  if (!U32At(file, 0x3C, header) || !U32At(file, header, signature) || signature != 0x4550) return table;
  const int64_t optional = int64_t(header) + 24;
  if (!U32At(file, optional, magicWord)) return table;
  const uint32_t magic = magicWord & 0xFFFF;
  // The data directories follow the fixed part of the optional header, which is 16 bytes
  // longer in PE32+; entry 4 is the certificate table.
  int64_t directories;
  if (magic == 0x10B) directories = optional + 96;
  else if (magic == 0x20B) directories = optional + 112;
  else return table;
  uint32_t count = 0;
  if (!U32At(file, directories - 4, count) || count <= 4) return table;
  if (!U32At(file, directories + 32, table.offset) || !U32At(file, directories + 36, table.size)) return table;
  table.present = table.size != 0;
  return table;
}

bool IsWindowsProgram(stub::ByteSource& file) {
  uint8_t magic[2];
  uint32_t header = 0, signature = 0;
  if (file.ReadAt(0, magic, 2) != 2 || magic[0] != 'M' || magic[1] != 'Z') return false;
  if (!U32At(file, 0x3C, header) || !U32At(file, header, signature) || signature != 0x4550) return false;
  // The COFF header's Characteristics, after the signature and 18 bytes of other fields.
  uint8_t raw[2];
  if (file.ReadAt(int64_t(header) + 22, raw, 2) != 2) return false;
  const unsigned characteristics = raw[0] | unsigned(raw[1]) << 8;
  const unsigned kExecutableImage = 0x0002, kDll = 0x2000;
  return (characteristics & kExecutableImage) && !(characteristics & kDll);
}

}  // namespace stubpack
