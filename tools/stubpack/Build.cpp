#include "Build.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "Compressors.h"
#include "Errors.h"
#include "FileIO.h"
#include "Inputs.h"
#include "LanguageIni.h"
#include "PackageWriter.h"
#include "PeInfo.h"
#include "package/GFileInfo.h"
#include "package/PackageLayout.h"
#include "package/Records.h"
#include "package/Token.h"
#include "support/Text.h"

namespace stubpack {

// Measured (bench/README.md): up to 4 MiB per record the stub's inflate is as fast as with
// any larger bound, its memory stays near 16 MB, and deflate loses under 0.1 % of ratio.
const uint64_t kDefaultRecordLimit = 4 << 20;

namespace {

typedef std::chrono::steady_clock Clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Ansi(const std::string& utf8, int codePage, const std::string& what) {
  std::string out;
  if (!ToCodePage(utf8, codePage, out))
    throw InputError(what + " \"" + utf8 + "\" has characters that code page " + std::to_string(codePage) +
                     " cannot hold");
  return out;
}

void CheckStub(const std::string& bytes, const std::string& path) {
  stub::MemorySource source(bytes);
  if (!stub::IsPEFile(source))
    throw InputError(path + " is not a stub: a stub is a Windows program with \"MZ\" at offset 0 and \"PE\" at 256");
  stub::PackageTrailer trailer;
  stub::ReadTrailer(source, trailer);
  if (trailer.Signature() == stub::kPackageSignature)
    throw InputError(path + " already carries a package; give the bare stub");
  for (size_t i = 248; i < 256; ++i)
    if (bytes[i] != 0)
      throw InputError(path + " has data at offsets 248..255, where a package's length goes; give the bare stub");
  if (FindCertificateTable(source).present)
    throw InputError(path + " is signed; build with the unsigned stub and sign the finished package");
}

// The percentage on a terminal, at most four times a second.
class Progress {
 public:
  Progress(uint64_t total, bool show) : total_(total), show_(show), start_(Clock::now()), last_(start_) {}
  void Advance(uint64_t bytes) {
    done_ += bytes;
    if (!show_ || Clock::now() - last_ < std::chrono::milliseconds(250)) return;
    last_ = Clock::now();
    const double seconds = SecondsSince(start_);
    std::fprintf(stderr, "\rstubpack: %3d%%  %.1f of %.1f MB  %.1f MB/s ", int(done_ * 100 / (total_ ? total_ : 1)),
                 done_ / 1e6, total_ / 1e6, seconds > 0 ? done_ / 1e6 / seconds : 0.0);
    std::fflush(stderr);
    shown_ = true;
  }
  void Done() {
    if (shown_) std::fprintf(stderr, "\r%60s\r", "");
  }

 private:
  uint64_t total_, done_ = 0;
  bool show_, shown_ = false;
  Clock::time_point start_, last_;
};

void CheckUsage(const BuildOptions& o) {
  if (o.stub.empty() || o.out.empty()) throw UsageError("build needs --stub and --out");
  if (o.internet) {
    if (o.downloadFile.empty() && !o.downloadSize.empty())
      throw UsageError("--download-size needs --download-file too: the name of the package file the stub downloads");
    if (o.downloadUrl.empty() || o.downloadFile.empty() || o.downloadToken.empty())
      throw UsageError("--internet needs --download-url, --download-file and --download-token");
    if (!o.inputs.empty())
      throw UsageError("a download stub carries no files: pack them into the package named by --download-file");
    if (o.diskSize) throw UsageError("a download stub is not split: leave out --disk-size");
  } else {
    if (!o.downloadUrl.empty() || !o.downloadFile.empty() || !o.downloadSize.empty() || o.noLocalCopy ||
        o.askBeforeDownload)
      throw UsageError("--download-url, --download-file, --download-size, --no-local-copy and "
                       "--ask-before-download belong to --internet");
  }
  if (o.makeAgentCopy && o.agentFile.empty()) throw UsageError("--make-agent-copy needs --agent-file");
  if (!o.mainArgs.empty() && o.main.empty()) throw UsageError("--main-args needs --main");
  if (o.agentCopy && o.diskSize) throw UsageError("--agent-copy writes one file: leave out --disk-size");
  if (!CodePageSupported(o.codePage)) throw UsageError("code page " + std::to_string(o.codePage) + " is not known here");
}

// The size of the package file a download stub names. With the file at hand, after checking
// that the stub would take it (a package with the same download token), its own size, which
// a --download-size must agree with; without it, --download-size.
std::string DownloadSizeOf(const BuildOptions& o) {
  const std::string& given = o.downloadSize;
  if (!given.empty() && (given.size() > 18 || given.find_first_not_of("0123456789") != std::string::npos))
    throw UsageError("--download-size wants a number of bytes");
  std::unique_ptr<FileSource> source = FileSource::Open(PathOf(o.downloadFile));
  if (!source) {
    if (given.empty())
      throw InputError("cannot read " + o.downloadFile +
                       ": build the package file first (its size goes into the stub), or give --download-size");
    Warn(o.downloadFile + " is not at hand: the stub records its name and --download-size, and its token is not "
                          "checked");
    return stub::IntText(stub::ToInt64(given, 0));
  }
  stub::TGFileInfo info(*source);
  if (info.Trailer().Signature() != stub::kPackageSignature)
    throw InputError(o.downloadFile + " is not a package");
  std::string clear;
  if (!stub::TryDescrambleToken(info.GetDownloadToken(false), clear) ||
      clear != Ansi(o.downloadToken, o.codePage, "--download-token"))
    throw InputError(o.downloadFile + " was built with another --download-token; the stub would refuse it");
  const std::string size = stub::IntText(source->Size());
  if (!given.empty() && stub::ToInt64(given, -1) != source->Size())
    throw InputError("--download-size " + given + ", but " + o.downloadFile + " has " + size +
                     " bytes; leave --download-size out when the file is at hand");
  return size;
}

// Disk files of an earlier, longer set beside the package: the stub never reads them, but
// they would be shipped with it.
std::vector<fs::path> StaleDisks(const fs::path& out, int diskCount) {
  std::vector<fs::path> stale;
  const std::string prefix = TextOf(out.filename()) + ".";
  std::error_code error;
  const fs::path folder = out.parent_path().empty() ? fs::path(".") : out.parent_path();
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = TextOf(it->path().filename());
    if (!stub::StartsWithText(prefix, name, true)) continue;
    const std::string number = name.substr(prefix.size());
    if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos) continue;
    const int disk = static_cast<int>(stub::ToInt64(number, 0));
    if (disk > diskCount && stub::SameText(TextOf(DiskPath(out, disk).filename()), name))
      stale.push_back(out.parent_path() / it->path().filename());
  }
  std::sort(stale.begin(), stale.end());
  return stale;
}

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error);
}

}  // namespace

void RunBuild(const BuildOptions& o) {
  const Clock::time_point start = Clock::now();
  CheckUsage(o);
  const fs::path out = PathOf(o.out);
  std::error_code error;
  const fs::path outFolder = out.parent_path();
  if (!outFolder.empty() && !fs::is_directory(outFolder, error))
    throw OutputError("the folder " + TextOf(outFolder) + " of --out " +
                      (fs::exists(outFolder, error) ? "is not a folder" : "does not exist; create it first"));
  const int level = o.level;
  const std::string compressorName = o.compressor.empty() ? CompressorNames().front() : o.compressor;
  stub::DeflaterFactory deflater = CompressorFor(compressorName, level > 0 ? level : 1);
  if (!deflater) {
    std::string names;
    for (const std::string& n : CompressorNames()) names += " " + n;
    throw UsageError("unknown compressor \"" + o.compressor + "\"; this build has:" + names);
  }

  stub::PackageSpec recipe;
  recipe.stub = ReadWholeFile(PathOf(o.stub), "the stub");
  CheckStub(recipe.stub, o.stub);
  if (!o.lang.empty()) {
    std::vector<std::string> warnings;
    recipe.languageBlock = LanguageBlockFromIni(ReadWholeFile(PathOf(o.lang), "the language file"), o.lang, warnings);
    for (const std::string& w : warnings) Warn(w);
  }
  const std::string token = o.token.empty() ? "" : stub::StableScrambledToken(Ansi(o.token, o.codePage, "--token"));
  recipe.settingsRecord = stub::SettingsRecordOf(Ansi(o.updateUrl, o.codePage, "--update-url"),
                                               Ansi(o.infoFile, o.codePage, "--info-file"),
                                               Ansi(o.agentFile, o.codePage, "--agent-file"), token, o.hide);
  if (o.internet || !o.downloadToken.empty()) {
    const std::string downloadToken = stub::StableScrambledToken(Ansi(o.downloadToken, o.codePage, "--download-token"));
    recipe.hasDownloadRecord = true;
    if (o.internet)
      recipe.downloadRecord = stub::DownloadRecordOf(
          Ansi(o.downloadUrl, o.codePage, "--download-url"),
          Ansi(PathOf(o.downloadFile).filename().u8string(), o.codePage, "--download-file"), o.noLocalCopy,
          downloadToken, DownloadSizeOf(o));
    else
      recipe.downloadRecord = stub::DownloadRecordOf("", "", false, downloadToken, "");
  }
  recipe.flags = static_cast<uint8_t>((o.announceTemp ? stub::kFlagAnnounceTempExtraction : 0) |
                                    (o.runFromTempCopy ? stub::kFlagRunFromTempCopy : 0) |
                                    (o.showActivityBar ? stub::kFlagShowActivityBar : 0) |
                                    (o.log ? stub::kFlagLog : 0));
  recipe.internetPackage = o.internet;
  recipe.askBeforeDownload = o.askBeforeDownload;
  recipe.makeAgentCopy = o.makeAgentCopy;
  recipe.level = level;
  recipe.diskSize = o.diskSize;
  recipe.recordBound = o.recordLimit ? o.recordLimit : kDefaultRecordLimit;
  recipe.storeIncompressible = true;
  recipe.threads = o.jobs > 0 ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
  recipe.deflater = deflater;

  ScanOptions scan;
  scan.codePage = o.codePage;
  if (!o.date.empty()) {
    scan.fixedDate = true;
    scan.date = ParseDateOption(o.date);
  }
  std::vector<InputFile> files = ScanInputs(o.inputs, scan);
  if (!o.main.empty()) MarkMainFile(files, o.main, o.codePage);
  else if (!o.internet && !o.agentCopy)
    Warn("no --main: the package launches nothing; the stub extracts it, starts no program and ends with exit code "
         "1620");
  const std::string mainArgs = Ansi(o.mainArgs, o.codePage, "--main-args");

  if (fs::is_directory(out, error)) throw UsageError("--out " + o.out + " is a folder; name the package file");
  for (const InputFile& f : files)
    if (SameFile(f.source, out)) throw InputError("--out " + o.out + " is among the files to pack");
  if (SameFile(PathOf(o.stub), out)) throw UsageError("--out must not be the stub itself");

  stub::PackageTotals totals;
  totals.files = files.size();
  std::vector<std::string> headers;
  std::vector<uint64_t> sizes;
  for (const InputFile& f : files) {
    totals.AddFile(f.size);
    const std::string header = stub::RecordHeader(f.packagePath, f.main, mainArgs, f.dosDateTime);
    // The header must read back as written; a path holding every delimiter candidate cannot.
    const stub::FileRecord parsed = stub::ParseFileRecord(header + std::string(1, '\0'));
    if (!parsed.valid || parsed.path != f.packagePath || parsed.dosDateTime != f.dosDateTime ||
        parsed.hasMainMark != f.main)
      throw InputError("the name \"" + f.shown + "\" (with --main-args) cannot be written in a record header");
    headers.push_back(header);
    sizes.push_back(f.size);
  }
  const std::vector<stub::RecordJob> jobs = stub::PlanRecords(headers, sizes, recipe.recordBound);

  auto readPiece = [&files](const stub::RecordJob& job) {
    const InputFile& f = files[job.file];
    std::FILE* file = OpenFile(f.source, "rb");
    if (!file) throw InputError("cannot read " + TextOf(f.source));
    std::string data(static_cast<size_t>(job.length), '\0');
    bool ok = SeekFile(file, static_cast<int64_t>(job.offset)) &&
              (data.empty() || std::fread(&data[0], 1, data.size(), file) == data.size());
    // A file that grew or shrank since it was listed would be packed half old, half new.
    if (ok && job.offset + job.length == f.size) ok = std::fgetc(file) == EOF;
    std::fclose(file);
    if (!ok) throw InputError(TextOf(f.source) + " changed while it was being packed, or cannot be read");
    return data;
  };

  // A stub that relaunches from a temporary copy reads its package from "<out>.001" on; out
  // itself becomes the launcher the user starts (see BuildLauncher).
  const bool launcher = o.runFromTempCopy && !o.agentCopy && !o.internet;
  fs::path first = out;
  if (launcher) first += ".001";
  FileDisks disks(first);
  int diskCount = 0;
  Progress progress(totals.dataSize, !o.quiet && IsTerminal(stderr) && totals.dataSize >= (16u << 20));
  try {
    stub::PackageAssembler assembler(recipe, totals, disks);
    stub::EncodeRecords(jobs, readPiece, recipe, recipe.diskSize > 0, [&](stub::EncodedRecord&& r) {
      const uint64_t n = r.dataLength;
      assembler.Add(std::move(r));
      progress.Advance(n);
    });
    diskCount = assembler.Finish();
  } catch (const stub::PackageError& e) {
    progress.Done();
    throw InputError(e.what());
  }
  progress.Done();

  if (o.agentCopy) {
    std::unique_ptr<FileSource> built = FileSource::Open(disks.Temporary(1));
    if (!built) throw OutputError("cannot read back " + TextOf(disks.Temporary(1)));
    std::string copy = stub::BuildAgentCopy(*built);
    // Extraction leaves zeros at 248..255 so that the copy's physical end counts; a vendor
    // who installs this copy will sign it, and the signature would then hide the trailer.
    // The copy's own length marks its end whether it is signed or not.
    const uint64_t length = copy.size();
    stub::WriteU32LE(reinterpret_cast<uint8_t*>(&copy[248]), static_cast<uint32_t>(length >> 32));
    stub::WriteU32LE(reinterpret_cast<uint8_t*>(&copy[252]), static_cast<uint32_t>(length));
    WriteWholeFile(out, copy);
    diskCount = 1;
  } else if (launcher) {
    std::unique_ptr<FileSource> built = FileSource::Open(disks.Temporary(1));
    if (!built) throw OutputError("cannot read back " + TextOf(disks.Temporary(1)));
    const std::string bytes = stub::BuildLauncher(*built);
    built.reset();
    disks.Commit();
    WriteWholeFile(out, bytes);
  } else {
    disks.Commit();
  }
  // Disk files are <out>.002, ... (a launcher's set starts at <out>.001): the same names either way.
  if (!o.agentCopy)
    for (const fs::path& stale : StaleDisks(out, diskCount))
      Warn(TextOf(stale) + " is left from an earlier build and does not belong to this package; remove it");

  if (o.quiet) return;
  const double seconds = SecondsSince(start);
  // Each file with its SHA-256, which an update description may give to have the file checked.
  int64_t written = 0;
  if (launcher) {
    written += static_cast<int64_t>(fs::file_size(out, error));
    std::printf("%s  %s bytes (starts the set from a temporary copy)\n  SHA-256 %s\n", TextOf(out).c_str(),
                stub::GroupThousands(stub::IntText(written)).c_str(), FileSha256(out).c_str());
  }
  for (int d = 1; d <= diskCount; ++d) {
    const fs::path p = DiskPath(first, d);
    const int64_t size = static_cast<int64_t>(fs::file_size(p, error));
    written += size;
    std::printf("%s  %s bytes\n  SHA-256 %s\n", TextOf(p).c_str(), stub::GroupThousands(stub::IntText(size)).c_str(),
                FileSha256(p).c_str());
  }
  std::printf("%d files, %.1f MB in %.1f MB%s, %.2f s, %.1f MB/s (%s level %d, %d threads)\n", static_cast<int>(files.size()),
              totals.dataSize / 1e6, written / 1e6,
              diskCount > 1 ? (" on " + std::to_string(diskCount) + " disk files").c_str() : "", seconds,
              seconds > 0 ? totals.dataSize / 1e6 / seconds : 0.0, level > 0 ? compressorName.c_str() : "stored",
              level, recipe.threads);
}

}  // namespace stubpack
