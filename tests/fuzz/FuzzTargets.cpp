#include "FuzzTargets.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>

#include "autoupdate/DescriptionFiles.h"
#include "autoupdate/StubInformDlgCore.h"
#include "inet/HttpText.h"
#include "package/ByteSource.h"
#include "package/GFileInfo.h"
#include "package/PackageDownloadCore.h"
#include "package/PackageLayout.h"
#include "package/Records.h"
#include "package/SetupPlan.h"
#include "package/Token.h"
#include "package/ZLibOpen.h"
#include "support/Scramble.h"
#include "support/Switches.h"
#include "support/Text.h"
#include "support/VSUB.h"
#include "ui/MsgBoxMarkup.h"
#include "ui/SLangId.h"

using namespace stub;

namespace stubfuzz {

const char kDiskSeparator[] = "\n=DISK=\n";
const char kDestination[] = "C:\\Temp\\SETUP_1";

namespace {

// The ceiling on one inflated record and on all bytes one extraction writes: enough for
// every seed many times over, small enough that a few inputs at once stay within the
// fuzzer's memory limit.
const size_t kInflateCeiling = size_t(16) << 20;
const size_t kWrittenCeiling = size_t(64) << 20;
// What the other targets hand the message box's markup at most: the markup has a target of
// its own with inputs of this size (msgbox_markup's max_len in scripts/fuzz.sh).
const size_t kMarkupShown = 65536;

// A broken rule is a finding: say which, and end the process so that libFuzzer (or the
// test) keeps the input.
void Require(bool ok, const char* rule) {
  if (ok) return;
  std::fprintf(stderr, "fuzz target: broken rule: %s\n", rule);
  std::abort();
}

std::string Bytes(const uint8_t* data, size_t size) { return std::string(reinterpret_cast<const char*>(data), size); }

// Up to count pieces of text cut at separator; the last one keeps the rest.
std::vector<std::string> Pieces(const std::string& text, const std::string& separator, size_t count) {
  std::vector<std::string> pieces;
  size_t from = 0;
  while (pieces.size() + 1 < count) {
    size_t at = text.find(separator, from);
    if (at == std::string::npos) break;
    pieces.push_back(text.substr(from, at - from));
    from = at + separator.size();
  }
  pieces.push_back(text.substr(from));
  pieces.resize(count);
  return pieces;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

bool IsDeviceStem(const std::string& component) {
  std::string stem = UpperCase(component.substr(0, component.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* name : kNames)
    if (stem == name) return true;
  return stem.size() == 4 && (StartsWith(stem, "COM") || StartsWith(stem, "LPT")) && stem[3] >= '1' && stem[3] <= '9';
}

// ---------------------------------------------------------------------------------------
// The package reader: trailer, lead records, settings and download fields, checksum, the
// agent copy of a download stub. The language lookup has a target of its own.
void PackageReader(const uint8_t* data, size_t size) {
  ResetProcessState();
  const std::string bytes = Bytes(data, size);
  MemorySource source(bytes);
  TGFileInfo info(source);
  const PackageTrailer& trailer = info.Trailer();
  Require(trailer.TrailerSize() <= kTrailerSize, "the trailer is at most 74 bytes");
  // The lead records follow each other without overlap: together no longer than the file.
  Require(info.LanguageBlock().size() + info.SettingsRecord().size() + info.DownloadRecord().size() <= size,
          "lead records never hold more bytes than the file");
  info.GetUpdateURL();
  info.GetOriginalFileName();
  info.GetAgentFileName();
  info.GetSecretToken(true);
  info.GetHideSetup();
  info.GetDownloadURL();
  info.GetDownloadFileName();
  info.GetDownloadNoLocalCopy();
  info.GetDownloadToken(true);
  info.GetDownloadSize();
  // The description files lie in the agent's folder, whatever field 1 says.
  const std::string folder = "C:\\Product";
  for (const std::string& file : {InfoFileIn(folder + "\\", info.GetInfoFileName()),
                                  OriginalFileIn(folder + "\\", info.GetInfoFileName())})
    Require(file.empty() || StaysInside(folder, file), "description files stay in the agent's folder");
  for (uint64_t cluster = 256; cluster <= 131072; cluster *= 2) SpaceNeededForCluster(trailer, cluster);
  PackageChecksum(source, trailer.TrailerSize());
  const int64_t end = PackageEnd(source);
  Require(end > 0 || size == 0, "a package ends after its start");
  Require(DownloadStubAgentCopy(bytes).size() <= size, "an agent copy is never longer than its stub");
}

// ---------------------------------------------------------------------------------------
// The extraction walk over files in memory, checking every path it writes.
class MemoryHost : public ExtractHost {
 public:
  std::map<std::string, std::string> disks;    // the package files
  std::map<std::string, std::string> written;  // what the extraction wrote
  bool answerNo = false;
  int questions = 0;
  size_t writtenBytes = 0;

  bool FileExists(const std::string& path) override { return disks.count(path) || written.count(path); }
  std::unique_ptr<ByteSource> OpenRead(const std::string& path) override {
    auto it = disks.find(path);
    return it == disks.end() ? nullptr : std::unique_ptr<ByteSource>(new MemorySource(it->second));
  }
  bool CreateFolder(const std::string& path) override {
    Require(path == kDestination || StaysInside(kDestination, path), "folders are made inside the destination");
    return true;
  }
  bool SaveFile(const std::string& path, const BytePieces& data, uint32_t, bool append) override {
    Require(StaysInside(kDestination, path), "files are written inside the destination");
    size_t size = 0;
    for (const BytePiece& piece : data) size += piece.size;
    if (writtenBytes + size > kWrittenCeiling) return false;  // the disk is full
    writtenBytes += size;
    std::string& file = written[path];
    if (!append) file.clear();
    for (const BytePiece& piece : data) file.append(piece.data, piece.size);
    return true;
  }
  uint32_t FileDosDate(const std::string&) override { return 0x5A8C6000; }
  int64_t FileSize(const std::string& path) override {
    auto it = written.find(path);
    return it == written.end() ? 0 : static_cast<int64_t>(it->second.size());
  }
  double FreeBytes(const std::string&) override { return 1e9; }
  std::string LastErrorText() override { return "There is not enough space on the disk."; }
  void EjectCD(const std::string&) override {}
  void RefuseAutoPlay() override {}
  // A refused path of any length reaches the box whole (see kMarkupShown).
  void ShowError(const std::string& text) override { ApplyMsgBoxMarkup(text.substr(0, kMarkupShown)); }
  // Yes three times, then No: a disk that never comes must not keep the walk asking.
  bool AskForDisk(const std::string&) override { return !answerNo && ++questions <= 3; }
  uint32_t Tick() override { return 1000; }
  void Wait(unsigned) override {}
  PumpHook Pump() override { return nullptr; }
  void Log(const std::string&) override {}
  std::string ProcessIdText() override { return "1"; }
};

void Extraction(const uint8_t* data, size_t size) { RunExtractionInput(data, size); }

// ---------------------------------------------------------------------------------------
// The language block: the section chosen once per process and the texts looked up in it,
// and the field-list routines the block is made of.
// A package around the block: no stub, the two lead records at 0, the trailer.
std::string PackageAroundBlock(const std::string& block) {
  std::string package;
  uint8_t length[4];
  for (const std::string& record : {block, std::string("|u|P.info|A.exe|t|0|")}) {
    WriteU32LE(length, static_cast<uint32_t>(record.size()));
    package.append(reinterpret_cast<const char*>(length), 4);
    package += record;
  }
  PackageTrailer trailer;
  trailer.bytes[1] = 2;
  trailer.SetU32(12, kPackageSignature);
  trailer.SetU32(70, kTrailerSize);
  package.append(reinterpret_cast<const char*>(trailer.bytes), kTrailerSize);
  return package;
}

void LanguageBlock(const uint8_t* data, size_t size) {
  ResetProcessState();
  if (size == 0) return;
  // The first byte picks the system's language: English, German, French, Spanish, Hebrew, Arabic.
  static const int kLanguages[] = {9, 7, 12, 10, 13, 1, 0};
  SetSystemLanguageIdForTesting(kLanguages[data[0] % 7]);
  const std::string block = Bytes(data + 1, size - 1);
  MemorySource source(PackageAroundBlock(block));
  TGFileInfo info(source);
  Require(info.LanguageBlock() == block, "the language block reads back as written");
  info.GetLangString("s0", "x");
  info.GetCharset();
  info.GetFontSize();
  info.GetFontName();
  SetSystemLanguageIdForTesting(-1);

  // A field set is read back, unless no delimiter is left for the list.
  const int index = data[0] % 5;
  const std::string value = block.substr(0, block.size() / 3);
  const std::string list = block.substr(block.size() / 3);
  const std::string set = SubSet(list, index, value);
  if (!value.empty() && set[0] != '\0' && value.find(set[0]) == std::string::npos)
    Require(SubGet(set, index) == value, "SubGet reads what SubSet wrote");
  SubGetInt(list, index, 0);
  SubCount(list);
}

// ---------------------------------------------------------------------------------------
// The engine's command line, the switches taken out of it and the switch lookups.
void EngineCommandLine(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const std::vector<std::string> f = Pieces(Bytes(data + 1, size - 1), "\n", 6);
  EngineCommandInput in;
  in.tempFolder = f[0];
  in.mainFile = f[1];
  in.extra = f[2];
  in.token = "_" + IntText(ToInt64(f[3], 0) & 0xFFFFFFFF);  // "_" + a thread id
  in.ownPath = f[4];
  in.autoUpdateProg = data[0] & 1;
  const std::string command = EngineCommand(in);
  // Taking a switch out takes the blank after it too, so the token may follow its value.
  Require(command.find("/TH_ID=" + in.token) != std::string::npos, "the engine always gets its token");
  // Taking switches out never cuts into the program's path.
  const std::string program =
      in.mainFile.find('*') == std::string::npos ? in.mainFile : Trim(in.mainFile.substr(0, in.mainFile.find('*')));
  const std::string path = FolderSlash(in.tempFolder, true) + program;
  Require(StartsWith(command, QuoteProgramPath(path)), "the program's path leads the command, whole");
  RemoveSwitch(f[5], f[2]);

  // The stub's own command line: its tail after the program path, and every switch in it.
  const std::string tail = ParamTailOf(f[5], f[4]);
  Require(tail.size() <= f[5].size(), "the tail is part of the command line");
  static const char* const kSwitches[] = {"/DELAY=", "/OriginExe=", "/STOP=", "/SleepX=", "/SpanCdLvl=",
                                          "/SpanDiskFName1=", "/TEST=", "/TRANSIENT=", "/WAIT=", "/WM_MSG=",
                                          "/_ZZ=", "/hide"};
  for (const char* name : kSwitches) {
    ParamValueIn(tail, name);
    ParamIntIn(tail, name, 1);
    HasParamIn(tail, name);
  }
  ParamValueIn(tail, f[0]);
}

// ---------------------------------------------------------------------------------------
// The message box's markup and the layout arithmetic that follows it.
void MsgBoxMarkupText(const uint8_t* data, size_t size) {
  const std::vector<std::string> f = Pieces(Bytes(data, size), "\n", 2);
  for (const std::string& marked : {f[1], MsgBoxHeading(f[0], f[1])}) {
    const MarkedUpText m = ApplyMsgBoxMarkup(marked);
    Require(m.text.size() <= ExpandEscapes(marked).size(), "markup only takes characters away");
    for (const BoldRun& run : m.bold) Require(run.start < run.end && run.end <= m.text.size(), "bold runs lie in the text");
    const TextSize measured =
        MeasureMsgBoxText(m.text, 13, [](const std::string& line) { return static_cast<int>(line.size() % 5000) * 6; });
    Require(measured.width <= 600 && measured.height >= 0, "the text fits the box's width");
  }
  std::vector<std::string> buttons = Pieces(f[0], "|", 4);
  for (const std::string& b : buttons) ButtonMnemonic(b);
  ButtonForCharacter(buttons, f[1].empty() ? 'x' : f[1][0]);
}

// ---------------------------------------------------------------------------------------
// What a download stub reads from the server or from a file it fetched: the HTML error
// page test, the names a fetched package is kept under, the tokens, the agent copy.
void ErrorPage(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const std::vector<std::string> f = Pieces(Bytes(data + 1, size - 1), "\n", 2);
  const std::string& url = f[0];
  const std::string& content = f[1];
  const std::string message = ErrorPageMessage(content, url, data[0] & 1, "def");
  Require(message == "def" || StartsWith(message, "<B>404 File Not Found...</B>"), "a page is the 404 text or not");
  ApplyMsgBoxMarkup(message.substr(0, kMarkupShown));
  DownloadAddress(url);
  RemoteFileName(url);
  const std::string folder = "C:\\Temp\\DL_1";
  Require(StaysInside(folder, folder + "\\" + DownloadedPackageName(url)), "a fetched package stays in its folder");
  PackageTokensMatch(url, content.substr(0, 64));
  DownloadQuestion(content, url);
  Require(DownloadStubAgentCopy(content).size() <= content.size(), "an agent copy is never longer than its stub");
}

// ---------------------------------------------------------------------------------------
// The inform file, plain or scrambled, and the links and fonts of its dialog.
void InformFileText(const uint8_t* data, size_t size) {
  const std::string text = Bytes(data, size);
  const InformFile file = ParseInformFile(text);
  IsWebLink(file.text);
  IsWebLink(file.token);
  InformTextFace(file.token);
  // What the tools scramble reads back, whatever the bytes.
  if (!StartsWith(text, "Scrambled=01"))
    for (bool hex : {false, true}) Require(ScrambleText(ScrambleText(text, true, hex, 5), false, hex) == text, "scrambling round-trips");
}

const std::vector<FuzzTarget> kTargets = {
    {"package_reader", PackageReader}, {"extraction", Extraction},       {"language_block", LanguageBlock},
    {"engine_command", EngineCommandLine}, {"msgbox_markup", MsgBoxMarkupText}, {"error_page", ErrorPage},
    {"inform_file", InformFileText},
};

}  // namespace

const std::vector<FuzzTarget>& FuzzTargets() { return kTargets; }

TargetFunction FindTarget(const std::string& name) {
  for (const FuzzTarget& t : kTargets)
    if (name == t.name) return t.run;
  return nullptr;
}

void ResetProcessState() {
  ResetSelectedSectionForTesting();
  ResetSaveFailuresForTesting();
  SetDecompressLimitForTesting(kInflateCeiling);
  SetDecompressPump(nullptr);
  SetSystemLanguageIdForTesting(-1);
}

std::string ExtractionInput(uint8_t options, const std::vector<std::string>& disks) {
  std::string input(1, static_cast<char>(options));
  for (size_t i = 0; i < disks.size(); ++i) input += (i ? kDiskSeparator : "") + disks[i];
  return input;
}

ExtractionRun RunExtractionInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  ExtractionRun run;
  if (size == 0) return run;
  const uint8_t options = data[0];
  const std::string rest = Bytes(data + 1, size - 1);
  MemoryHost host;
  host.answerNo = options & 8;
  ExtractRequest request;
  request.packagePath = (options & 1) ? "C:\\Media\\setup.exe" : "C:\\Media\\setup.exe.001";
  request.destination = kDestination;
  request.diskPrompt = "Please insert disk <DISK_NUM>";
  request.unattended = options & 2;
  request.forcePrompt = options & 4;
  const std::string base = DiskBaseName(request.packagePath);
  size_t from = 0;
  for (int disk = 1; disk <= 9; ++disk) {
    size_t at = rest.find(kDiskSeparator, from);
    host.disks[disk == 1 ? request.packagePath : DiskFileName(base, disk)] = rest.substr(from, at - from);
    if (at == std::string::npos) break;
    from = at + sizeof kDiskSeparator - 1;
  }
  {
    // As the setup driver asks: the agent copy's name comes from the first disk's settings.
    MemorySource first(host.disks[request.packagePath]);
    TGFileInfo info(first);
    if (info.Trailer().MakeAgentCopy()) request.agentFileName = info.GetAgentFileName();
  }
  bool checksumOk = false;
  run.outcome = RunExtraction(request, host, checksumOk, run.mainFile);
  run.written = std::move(host.written);
  return run;
}

bool StaysInside(const std::string& folder, const std::string& path) {
  if (path.size() <= folder.size() + 1 || path.compare(0, folder.size(), folder) != 0 || path[folder.size()] != '\\')
    return false;
  const std::string rest = path.substr(folder.size() + 1);
  if (rest.find(':') != std::string::npos) return false;
  int depth = 0;
  size_t start = 0;
  for (size_t i = 0; i <= rest.size(); ++i) {
    if (i < rest.size() && rest[i] != '\\' && rest[i] != '/') continue;
    const std::string component = rest.substr(start, i - start);
    start = i + 1;
    const size_t dots = std::count(component.begin(), component.end(), '.');
    if (component.find_first_not_of(". ") == std::string::npos) {
      if (dots >= 2 && --depth < 0) return false;  // climbs
      continue;                                     // "", "." and blanks stay where they are
    }
    if (IsDeviceStem(component)) return false;
    ++depth;
  }
  return depth > 0;
}

}  // namespace stubfuzz
