#include "PeFix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace stub {
namespace {

using Bytes = std::vector<unsigned char>;

const std::size_t ImageSize = 0x800;
const uint32_t SizeOfHeaders = 0x400;
const std::size_t BoundImportDirectory = 11;
const std::size_t CertificateDirectory = 4;

uint32_t Read32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void Write16(Bytes& b, std::size_t at, uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}

void Write32(Bytes& b, std::size_t at, uint32_t v) {
  Write16(b, at, v & 0xFFFF);
  Write16(b, at + 2, v >> 16);
}

std::size_t Lfanew(const Bytes& b) { return Read32(b, 0x3C); }
std::size_t Coff(const Bytes& b) { return Lfanew(b) + 4; }
std::size_t Optional(const Bytes& b) { return Coff(b) + 20; }
bool IsPe32Plus(const Bytes& b) { return b[Optional(b)] == 0x0B && b[Optional(b) + 1] == 0x02; }
std::size_t OptionalSize(const Bytes& b) { return b[Coff(b) + 16] | (b[Coff(b) + 17] << 8); }
std::size_t Directory(const Bytes& b, std::size_t i) { return Optional(b) + (IsPe32Plus(b) ? 112 : 96) + 8 * i; }
std::size_t Section(const Bytes& b, std::size_t i) { return Optional(b) + OptionalSize(b) + 40 * i; }
std::size_t HeaderSize(const Bytes& b) { return 4 + 20 + OptionalSize(b) + 2 * 40; }

// A small but well-formed program image as a GNU linker lays it out: DOS header and stub
// program, PE headers at `lfanew`, zero padding to SizeOfHeaders, then two sections.
Bytes MakeImage(bool pe32Plus, std::size_t lfanew = 0x80) {
  Bytes b(ImageSize, 0);
  b[0] = 'M';
  b[1] = 'Z';
  for (std::size_t i = 2; i < 0x3C; ++i) b[i] = static_cast<unsigned char>(i);
  Write32(b, 0x3C, static_cast<uint32_t>(lfanew));
  for (std::size_t i = 0x40; i < lfanew; ++i) b[i] = static_cast<unsigned char>(0xA0 + i % 16);

  b[lfanew] = 'P';
  b[lfanew + 1] = 'E';
  const std::size_t coff = lfanew + 4;
  const std::size_t optionalSize = pe32Plus ? 240 : 224;
  Write16(b, coff, pe32Plus ? 0x8664 : 0x14C);
  Write16(b, coff + 2, 2);
  Write32(b, coff + 4, 0x5F3759DF);  // time stamp
  Write16(b, coff + 16, static_cast<uint32_t>(optionalSize));
  Write16(b, coff + 18, 0x0102);

  const std::size_t optional = coff + 20;
  Write16(b, optional, pe32Plus ? 0x20B : 0x10B);
  Write32(b, optional + 16, 0x1010);  // entry point
  Write32(b, optional + 32, 0x1000);  // section alignment
  Write32(b, optional + 36, 0x200);   // file alignment
  Write32(b, optional + 56, 0x3000);  // size of image
  Write32(b, optional + 60, SizeOfHeaders);
  Write16(b, optional + 68, 2);  // GUI subsystem
  Write32(b, optional + (pe32Plus ? 108 : 92), 16);
  Write32(b, Directory(b, 1), 0x1100);  // imports, inside .text
  Write32(b, Directory(b, 1) + 4, 0x28);
  Write32(b, Directory(b, 2), 0x2000);  // resources, inside .rsrc
  Write32(b, Directory(b, 2) + 4, 0x100);

  const char* names[2] = {".text", ".rsrc"};
  for (uint32_t i = 0; i < 2; ++i) {
    const std::size_t s = Section(b, i);
    for (std::size_t c = 0; names[i][c]; ++c) b[s + c] = names[i][c];
    Write32(b, s + 8, 0x200);                // virtual size
    Write32(b, s + 12, 0x1000 * (i + 1));    // virtual address
    Write32(b, s + 16, 0x200);               // raw size
    Write32(b, s + 20, 0x400 + 0x200 * i);   // raw pointer
    Write32(b, s + 36, 0x60000020);
  }
  for (std::size_t i = SizeOfHeaders; i < ImageSize; ++i) b[i] = static_cast<unsigned char>(i * 7 + 3);
  return b;
}

bool AllZero(const Bytes& b, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i)
    if (b[i] != 0) return false;
  return true;
}

bool SameRange(const Bytes& a, std::size_t aFrom, const Bytes& b, std::size_t bFrom, std::size_t length) {
  return std::equal(a.begin() + aFrom, a.begin() + aFrom + length, b.begin() + bFrom);
}

struct Layout {
  bool pe32Plus;
  std::size_t lfanew;
};

class PeFixMoveTest : public testing::TestWithParam<Layout> {};

TEST_P(PeFixMoveTest, MovesHeadersClearsTheRestAndIsIdempotent) {
  const Layout layout = GetParam();
  const Bytes original = MakeImage(layout.pe32Plus, layout.lfanew);
  const std::size_t headerSize = HeaderSize(original);
  const std::size_t keptStub = std::min<std::size_t>(layout.lfanew, 248);

  Bytes image = original;
  std::string error;
  ASSERT_TRUE(MovePeHeaders(image, error)) << error;

  ASSERT_EQ(image.size(), original.size());
  EXPECT_EQ(Lfanew(image), 0x100u);
  EXPECT_TRUE(SameRange(image, 0, original, 0, 0x3C)) << "DOS header";
  EXPECT_TRUE(SameRange(image, 0x40, original, 0x40, keptStub - 0x40)) << "DOS stub program";
  EXPECT_TRUE(AllZero(image, keptStub, 0x100)) << "gap before the headers, including 248..255";
  EXPECT_TRUE(SameRange(image, 0x100, original, layout.lfanew, headerSize)) << "moved headers";
  EXPECT_TRUE(AllZero(image, 0x100 + headerSize, SizeOfHeaders)) << "old header bytes";
  EXPECT_TRUE(SameRange(image, SizeOfHeaders, original, SizeOfHeaders, ImageSize - SizeOfHeaders))
      << "section data";

  const Bytes moved = image;
  ASSERT_TRUE(MovePeHeaders(image, error)) << error;
  EXPECT_EQ(image, moved);
}

INSTANTIATE_TEST_SUITE_P(Layouts, PeFixMoveTest,
                         testing::Values(Layout{false, 0x80}, Layout{true, 0x80},
                                         // A longer DOS stub whose tail has to give way.
                                         Layout{false, 0x118}));

TEST(PeFixTest, ClearsAChecksumThatNoLongerHolds) {
  Bytes image = MakeImage(false);
  Write32(image, Optional(image) + 64, 0x0001F00D);
  std::string error;
  ASSERT_TRUE(MovePeHeaders(image, error)) << error;
  EXPECT_EQ(Read32(image, Optional(image) + 64), 0u);
}

TEST(PeFixTest, AcceptsDataDirectoriesOutsideTheHeaders) {
  Bytes image = MakeImage(false);
  // Signed programs keep their certificates at the end of the file, after every section.
  Write32(image, Directory(image, CertificateDirectory), ImageSize);
  Write32(image, Directory(image, CertificateDirectory) + 4, 0x80);
  std::string error;
  EXPECT_TRUE(MovePeHeaders(image, error)) << error;
}

struct Refusal {
  const char* name;
  std::function<void(Bytes&)> spoil;
  const char* reason;
};

TEST(PeFixTest, RefusesAndLeavesTheImageUntouched) {
  const Refusal refusals[] = {
      {"no MZ", [](Bytes& b) { b[0] = 'X'; }, "not an MZ"},
      {"too short for MZ", [](Bytes& b) { b.resize(0x20); }, "not an MZ"},
      {"e_lfanew in DOS header", [](Bytes& b) { Write32(b, 0x3C, 0x20); }, "into the DOS header"},
      {"e_lfanew past the end", [](Bytes& b) { Write32(b, 0x3C, 0x10000); }, "beyond the end"},
      {"no PE signature", [](Bytes& b) { b[Lfanew(b) + 1] = 'X'; }, "no PE signature"},
      {"truncated section table", [](Bytes& b) { b.resize(Section(b, 1) + 8); }, "past the end of the file"},
      {"unknown optional header", [](Bytes& b) { Write16(b, Optional(b), 0x107); }, "unknown optional header"},
      {"optional header too short", [](Bytes& b) { Write16(b, Coff(b) + 16, 64); }, "truncated"},
      {"SizeOfHeaders too small", [](Bytes& b) { Write32(b, Optional(b) + 60, 0x200); }, "exceed SizeOfHeaders"},
      {"section data right after the headers",
       [](Bytes& b) { Write32(b, Section(b, 0) + 20, 0x200); }, "overlap the raw data"},
      {"bound imports in the headers",
       [](Bytes& b) {
         Write32(b, Directory(b, BoundImportDirectory), static_cast<uint32_t>(Section(b, 2)));
         Write32(b, Directory(b, BoundImportDirectory) + 4, 0x20);
       },
       "bound import directory lies inside the headers"},
      {"certificate table in the headers",
       [](Bytes& b) {
         Write32(b, Directory(b, CertificateDirectory), 0x300);
         Write32(b, Directory(b, CertificateDirectory) + 4, 0x40);
       },
       "certificate table lies inside the headers"},
      {"symbol table in the headers", [](Bytes& b) { Write32(b, Coff(b) + 8, 0x300); }, "symbol table"},
      {"unreferenced data after the section table", [](Bytes& b) { b[Section(b, 2) + 0x40] = 0x55; },
       "unknown data follows the section table"},
  };
  for (bool pe32Plus : {false, true}) {
    for (const Refusal& refusal : refusals) {
      SCOPED_TRACE(std::string(refusal.name) + (pe32Plus ? " (PE32+)" : " (PE32)"));
      Bytes image = MakeImage(pe32Plus);
      refusal.spoil(image);
      const Bytes before = image;
      std::string error;
      EXPECT_FALSE(MovePeHeaders(image, error));
      EXPECT_NE(error.find(refusal.reason), std::string::npos) << error;
      EXPECT_EQ(image, before);
    }
  }
}

}  // namespace
}  // namespace stub
