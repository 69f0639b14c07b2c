#include "PeFix.h"

#include <algorithm>
#include <cstdint>

namespace stub {

namespace {

const std::size_t DosHeaderSize = 0x40;
const std::size_t LfanewOffset = 0x3C;
const std::size_t CoffHeaderSize = 20;
const std::size_t SectionHeaderSize = 40;
const unsigned Pe32Magic = 0x10B;
const unsigned Pe32PlusMagic = 0x20B;
const unsigned CertificateDirectory = 4;  // holds a file offset, not an RVA

// Names of the data directories, by index, for the refusal messages.
const char* const DirectoryNames[16] = {
    "export", "import", "resource", "exception", "certificate", "base relocation", "debug", "architecture",
    "global pointer", "TLS", "load config", "bound import", "import address", "delay import", "CLR runtime",
    "reserved"};

uint32_t Read16(const std::vector<unsigned char>& b, std::size_t at) {
  return static_cast<uint32_t>(b[at] | (b[at + 1] << 8));
}

uint32_t Read32(const std::vector<unsigned char>& b, std::size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void Write32(std::vector<unsigned char>& b, std::size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

bool Refuse(std::string& error, const std::string& reason) {
  error = reason;
  return false;
}

}  // namespace

bool MovePeHeaders(std::vector<unsigned char>& image, std::string& error) {
  const std::size_t fileSize = image.size();
  if (fileSize < DosHeaderSize || image[0] != 'M' || image[1] != 'Z')
    return Refuse(error, "not an MZ executable");
  const std::size_t oldStart = Read32(image, LfanewOffset);
  if (oldStart < DosHeaderSize) return Refuse(error, "e_lfanew points into the DOS header");
  if (oldStart > fileSize || fileSize - oldStart < 4 + CoffHeaderSize)
    return Refuse(error, "e_lfanew points beyond the end of the file");
  if (image[oldStart] != 'P' || image[oldStart + 1] != 'E' || image[oldStart + 2] != 0 ||
      image[oldStart + 3] != 0)
    return Refuse(error, "no PE signature at e_lfanew");

  const std::size_t coff = oldStart + 4;
  const std::size_t sectionCount = Read16(image, coff + 2);
  const std::size_t optionalSize = Read16(image, coff + 16);
  const std::size_t optional = coff + CoffHeaderSize;
  const std::size_t sectionTable = optional + optionalSize;
  const std::size_t headerSize = 4 + CoffHeaderSize + optionalSize + sectionCount * SectionHeaderSize;
  if (fileSize - oldStart < headerSize) return Refuse(error, "the PE headers run past the end of the file");

  // The data directories start at different offsets in the two optional header formats.
  std::size_t directoryCountAt;
  if (optionalSize >= 2 && Read16(image, optional) == Pe32Magic)
    directoryCountAt = 92;
  else if (optionalSize >= 2 && Read16(image, optional) == Pe32PlusMagic)
    directoryCountAt = 108;
  else
    return Refuse(error, "unknown optional header format");
  if (optionalSize < directoryCountAt + 4) return Refuse(error, "the optional header is truncated");

  if (oldStart == PeHeaderTarget) return true;

  const uint32_t sizeOfHeaders = Read32(image, optional + 60);
  std::size_t directoryCount = Read32(image, optional + directoryCountAt);
  directoryCount = std::min({directoryCount, std::size_t{16}, (optionalSize - directoryCountAt - 4) / 8});
  for (std::size_t i = 0; i < directoryCount; ++i) {
    const std::size_t entry = optional + directoryCountAt + 4 + 8 * i;
    const uint32_t where = Read32(image, entry);
    const uint32_t size = Read32(image, entry + 4);
    // Below SizeOfHeaders, RVAs and file offsets coincide: such data would be overwritten.
    if ((where != 0 || size != 0) && where < sizeOfHeaders)
      return Refuse(error, std::string("the ") + DirectoryNames[i] +
                               (i == CertificateDirectory ? " table" : " directory") +
                               " lies inside the headers");
  }
  const uint32_t symbolTable = Read32(image, coff + 8);
  if (symbolTable != 0 && symbolTable < sizeOfHeaders)
    return Refuse(error, "the COFF symbol table lies inside the headers");

  const std::size_t newEnd = PeHeaderTarget + headerSize;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::size_t section = sectionTable + i * SectionHeaderSize;
    const uint32_t rawSize = Read32(image, section + 16);
    const uint32_t rawPointer = Read32(image, section + 20);
    if (rawSize != 0 && rawPointer != 0 && rawPointer < newEnd)
      return Refuse(error, "the moved headers would overlap the raw data of a section");
  }
  if (newEnd > sizeOfHeaders) return Refuse(error, "the moved headers would exceed SizeOfHeaders");
  if (newEnd > fileSize) return Refuse(error, "the moved headers would run past the end of the file");
  const std::size_t oldEnd = oldStart + headerSize;
  for (std::size_t at = std::max(oldEnd, PeHeaderTarget); at < newEnd; ++at)
    if (image[at] != 0) return Refuse(error, "unknown data follows the section table");

  const std::vector<unsigned char> headers(image.begin() + oldStart, image.begin() + oldEnd);
  // The DOS stub program is kept up to the logical length field; past it, it has to give way.
  std::fill(image.begin() + std::min(oldStart, LogicalLengthOffset), image.begin() + std::max(oldEnd, newEnd),
            0);
  std::copy(headers.begin(), headers.end(), image.begin() + PeHeaderTarget);
  Write32(image, LfanewOffset, static_cast<uint32_t>(PeHeaderTarget));
  // The checksum covered the old layout; zero means "not set", which loaders accept for programs.
  Write32(image, PeHeaderTarget + 4 + CoffHeaderSize + 64, 0);
  return true;
}

}  // namespace stub
