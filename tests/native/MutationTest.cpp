#include <gtest/gtest.h>

#include <random>

#include "FuzzTargets.h"
#include "PackageWriter.h"
#include "package/Token.h"

using namespace stub;

// Random damage to a valid package: flipped bytes, cut ends, patched 32-bit fields. The
// reader and the extraction must neither crash nor read out of bounds (the sanitizers
// watch), nor write outside the destination (the extraction target checks).
TEST(Mutation, DamagedPackagesNeverCrashTheParsers) {
  PackageSpec recipe;
  recipe.stub = std::string(600, '\0');
  recipe.stub[0] = 'M', recipe.stub[1] = 'Z', recipe.stub[256] = 'P', recipe.stub[257] = 'E';
  recipe.languageBlock = LanguageBlockOf({LanguageSection("English", {"s0=T", "Charset=0"})});
  recipe.settingsRecord = "|u|i.info|A.exe|" + ScrambleToken("tok", 1) + "|0|";
  std::vector<PackageFile> files = {{"a.txt", std::string(3000, 'a'), 0, true, "/x"},
                                    {"d\\b.bin", "bytes", 0, false, ""}};
  const std::string valid = BuildPackage(recipe, files);
  std::mt19937 random(20261209);
  for (int round = 0; round < 3000; ++round) {
    std::string m = valid;
    switch (round % 4) {
      case 0:
        for (int k = 0; k < 8; ++k) m[random() % m.size()] = static_cast<char>(random());
        break;
      case 1:
        m.resize(random() % m.size());
        break;
      case 2: {
        size_t at = random() % (m.size() - 4);
        uint32_t v = (random() % 2) ? random() : 0xFFFFFFF0u + random() % 16;
        for (int k = 0; k < 4; ++k) m[at + k] = static_cast<char>(v >> (8 * k));
        break;
      }
      default:
        m.insert(random() % m.size(), std::string(random() % 300, static_cast<char>(random())));
    }
    stubfuzz::FindTarget("package_reader")(reinterpret_cast<const uint8_t*>(m.data()), m.size());
    const std::string input = stubfuzz::ExtractionInput(static_cast<uint8_t>(round), {m});
    stubfuzz::RunExtractionInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  }
}
