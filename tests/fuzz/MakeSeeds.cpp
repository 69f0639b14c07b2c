// Writes the seeds of the fuzz targets: small packages on a 600-byte stand-in stub (one
// file, split over disks, stored, with hostile paths) and one or two typical inputs of each
// text parser. The seeds are checked in (tests/fuzz/corpus); run this again when the
// package layout changes:  fuzz_seeds tests/fuzz/corpus
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "FuzzTargets.h"
#include "PackageWriter.h"
#include "package/Token.h"
#include "support/Scramble.h"

using namespace stub;
using stubfuzz::ExtractionInput;

namespace {

std::string g_root;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
  const std::string folder = g_root + "/" + target;
  mkdir(folder.c_str(), 0755);
  std::ofstream out(folder + "/" + name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "fuzz_seeds: cannot write %s/%s\n", folder.c_str(), name.c_str());
    std::exit(1);
  }
}

// "MZ", "PE" at 256, the logical length's place at 248..255, then code-like bytes.
std::string StandInStub() {
  std::string stub(600, '\0');
  stub[0] = 'M', stub[1] = 'Z', stub[256] = 'P', stub[257] = 'E';
  for (size_t i = 300; i < stub.size(); ++i) stub[i] = static_cast<char>(i * 7);
  return stub;
}

PackageSpec Recipe() {
  PackageSpec recipe;
  recipe.stub = StandInStub();
  recipe.languageBlock = LanguageBlockOf({LanguageSection("English", {"s0=Setup", "Charset=0", "FontSize=8"}),
                                          LanguageSection("German", {"s0=Einrichtung", "FontName=Arial"})});
  recipe.settingsRecord = SettingsRecordOf("http://updates.test/p", "Product.info", "Agent.exe",
                                           StableScrambledToken("token"), false);
  return recipe;
}

// Bytes deflate cannot shrink, so that a split package needs several disks.
std::string Noise(size_t size) {
  std::string bytes(size, '\0');
  uint32_t x = 12345;
  for (char& c : bytes) c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
  return bytes;
}

std::vector<PackageFile> Files() {
  return {{"Engine.exe", "MZ" + Noise(1500), 0x5A8C6000, true, "/L=1"},
          {"data\\readme.txt", "Read me, twice. Read me, twice. Read me, twice.", 0x5A8C6000, false, ""},
          {"empty.txt", "", 0, false, ""}};
}

void PackageSeeds() {
  PackageSpec plain = Recipe();
  Seed("package_reader", "plain", BuildPackage(plain, Files()));
  PackageSpec download = Recipe();
  download.internetPackage = true;
  download.askBeforeDownload = true;
  download.hasDownloadRecord = true;
  download.downloadRecord = DownloadRecordOf("http://files.test/setup", "setup.exe", false,
                                             StableScrambledToken("token"), "123456");
  Seed("package_reader", "download", BuildPackage(download, {}));
  // A code signature after the logical end, as signing leaves it.
  Seed("package_reader", "signed", BuildPackage(plain, Files()) + std::string(300, 'S'));

  PackageSpec agent = Recipe();
  agent.makeAgentCopy = true;
  Seed("extraction", "one_file_with_agent", ExtractionInput(1, {BuildPackage(agent, Files())}));
  PackageSpec stored = Recipe();
  stored.level = 0;
  Seed("extraction", "stored", ExtractionInput(1, {BuildPackage(stored, Files())}));
  PackageSpec split = Recipe();
  split.diskSize = 1000;
  split.recordBound = 400;
  const std::vector<std::string> disks = BuildPackageSet(split, Files());
  if (disks.size() < 3) {
    std::fprintf(stderr, "fuzz_seeds: the split package has %zu disks\n", disks.size());
    std::exit(1);
  }
  Seed("extraction", "three_disks", ExtractionInput(0, disks));
  Seed("extraction", "missing_disk_unattended", ExtractionInput(2, {disks.front()}));
  // Paths that leave the destination are refused; the rest is written.
  const std::vector<PackageFile> hostile = {{"..\\up.txt", "x", 0, false, ""},
                                            {"a\\...\\b.txt", "x", 0, false, ""},
                                            {"CON.txt", "x", 0, false, ""},
                                            {"fine.txt", "x", 0, true, ""}};
  Seed("extraction", "hostile_paths", ExtractionInput(1, {BuildPackage(Recipe(), hostile)}));
}

void TextSeeds() {
  Seed("language_block", "two_sections", std::string(1, '\0') + Recipe().languageBlock);
  Seed("language_block", "one_section", std::string("\x01") + LanguageBlockOf({LanguageSection("Hebrew", {"s0=x", "Charset=177"})}));

  Seed("engine_command", "relaunched",
       std::string("\x01") + "C:\\Temp\\SETUP_1\nEngine.exe*/L=1 /X\n/SpanCdLvl=2 /SpanDiskFName1=D:\\setup.exe.001 /X\n"
       "1234\nC:\\Media\\setup.exe\n\"C:\\Media\\setup.exe\" /WAIT=10 /hide /OriginExe=\"C:\\a b\\s.exe\"");
  Seed("engine_command", "blank_in_path", std::string("\x00", 1) + "C:\\Temp dir\\SETUP_2\nsub dir\\Engine.exe\n\n7\n"
       "C:\\My Files\\setup.exe\nC:\\My Files\\setup.exe /STOP=1 /DELAY=5");

  Seed("msgbox_markup", "bold_and_breaks",
       "Error\n<B>Unable to save Extracted File!</B><P><P>C:\\Temp\\a.txt<P>  Data Size: <T>12 Bytes \\\\n<<b>x</b>");
  Seed("msgbox_markup", "unpaired", "|&OK|&Cancel|\n</B>a<B>b<b>c</B>d</b>");

  Seed("error_page", "iis_404",
       "\x01http://files.test/p/setup.exe\n<html><head><title>404 - Not Found</title></head><body>IIS 10</body></html>");
  Seed("error_page", "package_named", std::string("\x00", 1) + "setup.exe\n" + BuildPackage(Recipe(), {}));

  const std::string inform = "x|" + ScrambleToken("token", 1) + "|x|x|A new version is ready.\r\nhttp://example.test/new";
  Seed("inform_file", "plain", inform);
  Seed("inform_file", "scrambled", ScrambleText(inform, true, false, 3));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds CORPUS_FOLDER\n");
    return 2;
  }
  g_root = argv[1];
  mkdir(g_root.c_str(), 0755);
  PackageSeeds();
  TextSeeds();
  return 0;
}
