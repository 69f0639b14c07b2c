// stubpack: builds the packages the stub reads, and inspects and extracts them.
//
//   stubpack build --stub STUB.exe --out SETUP.exe [options] FILE_OR_FOLDER...
//   stubpack inspect FILE [--json]
//   stubpack extract FILE DIR
//   stubpack token scramble|descramble TEXT
//   stubpack scramble-text [--hex] [--decode] FILE [-o OUT]
//
// docs/vendors.md is the manual.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "Build.h"
#include "Compressors.h"
#include "ConfigFile.h"
#include "Errors.h"
#include "Extract.h"
#include "FileIO.h"
#include "PackageReport.h"
#include "Platform.h"
#include "package/Token.h"
#include "support/Scramble.h"

using namespace stubpack;

namespace {

struct Options {
  BuildOptions build;
  std::string config;
  std::string package, folder, text;
  bool json = false, verbose = false, hex = false, decode = false;
  std::string textOut;
  int codePage = 1252;
  CLI::App* buildCommand = nullptr;
  CLI::App* inspect = nullptr;
  CLI::App* extract = nullptr;
  CLI::App* scramble = nullptr;
  CLI::App* descramble = nullptr;
  CLI::App* scrambleText = nullptr;
};

void AddBuildOptions(CLI::App* c, BuildOptions& b, std::string& config) {
  auto value = [c](const char* name, std::string& target, const char* help) {
    return c->add_option(name, target, help)->take_last();
  };
  auto flag = [c](const char* name, bool& target, const char* help) {
    return c->add_flag(name, target, help)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  };
  c->add_option("input", b.inputs, "files and folders to pack; a folder stands for its contents")->type_name("FILE_OR_FOLDER");
  value("--stub", b.stub, "the stub program (stub.exe)");
  value("--out", b.out, "the package to write");
  value("--config", config, "read options from this INI file ([build] section, keys = long option names)");
  value("--main", b.main, "the program to launch, relative to the package root");
  value("--main-args", b.mainArgs, "parameters for the program to launch (--main-args=-x for a leading dash)");
  value("--lang", b.lang, "language file: one INI section per language");
  value("--update-url", b.updateUrl, "settings: URL of the folder holding the .INFO file");
  value("--info-file", b.infoFile, "settings: name of the .INFO file");
  value("--agent-file", b.agentFile, "settings: file name of the auto-update agent");
  value("--token", b.token, "settings: the package's secret token, in clear (written scrambled)");
  flag("--hide", b.hide, "settings: run the setup silently");
  flag("--announce-temp", b.announceTemp, "always show the temporary-space notice");
  flag("--run-from-temp-copy", b.runFromTempCopy, "the stub relaunches from a copy in the temporary folder");
  flag("--show-activity-bar", b.showActivityBar, "show the activity bar during extraction");
  flag("--log", b.log, "agent copies write their run log");
  flag("--make-agent-copy", b.makeAgentCopy, "extraction writes the auto-update agent copy (needs --agent-file)");
  flag("--internet", b.internet, "write a download stub: lead records only, the package comes from --download-url");
  value("--download-url", b.downloadUrl, "download: URL of the folder holding the package file");
  value("--download-file", b.downloadFile, "download: the package file (its name goes into the stub, its size too)");
  value("--download-size", b.downloadSize, "download: the size in bytes, when the package file is not at hand");
  flag("--no-local-copy", b.noLocalCopy, "download: never use a package file beside the stub");
  flag("--ask-before-download", b.askBeforeDownload, "download: ask the user first");
  value("--download-token", b.downloadToken, "download: the token that pairs a download stub with its package file");
  c->add_option("--disk-size", b.diskSize, "split into disk files of at most this size (512K, 650M, ...)")
      ->transform(CLI::AsSizeValue(false))
      ->take_last();
  flag("--agent-copy", b.agentCopy, "write the agent copy instead: stub, lead records and trailer");
  c->add_option("--level", b.level, "compression level, 0 stores")->check(CLI::Range(0, 9))->take_last();
  value("--date", b.date, "one date for every file, YYYY-MM-DDTHH:MM:SS (local time), or 0 for none");
  c->add_option("--codepage", b.codePage, "the ANSI code page of names and texts (default 1252)")->take_last();
  std::string engines;
  for (const std::string& name : CompressorNames()) engines += (engines.empty() ? name + " (default)" : ", " + name);
  c->add_option("--compressor", b.compressor, "deflate engine: " + engines)->take_last();
  c->add_option("--jobs", b.jobs, "compression threads (default: every core)")->check(CLI::Range(1, 256))->take_last();
  c->add_option("--record-limit", b.recordLimit, "most file bytes per record (default 4M)")
      ->transform(CLI::AsSizeValue(false))
      ->check(CLI::Range(uint64_t(4096), uint64_t(1) << 30))
      ->take_last();
  flag("--quiet", b.quiet, "print nothing but errors");
}

void MakeApp(CLI::App& app, Options& o) {
  // "/L=1" is a parameter for the engine and "/tmp/x" a path, not "/option" switches, which
  // the library would accept on Windows. Subcommands inherit this setting.
  app.allow_windows_style_options(false);
  app.require_subcommand(1);
  o.buildCommand = app.add_subcommand("build", "build a package");
  AddBuildOptions(o.buildCommand, o.build, o.config);

  o.inspect = app.add_subcommand("inspect", "show what a package holds and check its layout");
  o.inspect->add_option("file", o.package, "the package, or the first file of a set")->required();
  o.inspect->add_flag("--json", o.json, "JSON instead of text");
  o.inspect->add_option("--codepage", o.codePage, "the code page of the package's texts");

  o.extract = app.add_subcommand("extract", "extract a package as the stub does");
  o.extract->add_option("file", o.package, "the package, or the first file of a set")->required();
  o.extract->add_option("dir", o.folder, "a new or empty folder")->required();
  o.extract->add_option("--codepage", o.codePage, "the code page of the package's names");
  o.extract->add_flag("-v,--verbose", o.verbose, "list the files and the extractor's log");

  CLI::App* token = app.add_subcommand("token", "scramble or descramble a secret token");
  token->require_subcommand(1);
  o.scramble = token->add_subcommand("scramble", "the scrambled form of a clear token");
  o.scramble->add_option("text", o.text)->required();
  o.descramble = token->add_subcommand("descramble", "the clear text of a scrambled token");
  o.descramble->add_option("text", o.text)->required();
  token->add_option("--codepage", o.codePage, "the code page of the clear text");

  o.scrambleText = app.add_subcommand("scramble-text", "scramble or unscramble a text file (inform files)");
  o.scrambleText->add_option("file", o.package, "the file to read")->required();
  o.scrambleText->add_flag("--hex", o.hex, "hexadecimal form");
  o.scrambleText->add_flag("--decode", o.decode, "unscramble instead");
  o.scrambleText->add_option("-o,--out", o.textOut, "write here instead of to standard output");
}

// Parses args (program name first); returns -1 to go on, else the exit code.
int Parse(CLI::App& app, const std::vector<std::string>& args) {
  std::vector<std::string> reversed(args.rbegin(), args.rend() - 1);
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    std::printf("%s", app.help().c_str());
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    std::printf("%s", app.help("", CLI::AppFormatMode::All).c_str());
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "stubpack: %s\nRun with --help for more information.\n", e.what());
    return kExitUsage;
  }
  return -1;
}

KeyKind KindOf(CLI::App* build, const std::string& key) {
  if (key == "input") return KeyKind::Input;
  const CLI::Option* option = build->get_option_no_throw("--" + key);
  if (!option) return KeyKind::Unknown;
  if (option->get_expected_min() == 0) return KeyKind::Flag;
  if (key == "stub" || key == "out" || key == "lang" || key == "download-file") return KeyKind::PathValue;
  return KeyKind::Value;
}

int Run(const std::vector<std::string>& args) {
  CLI::App app{"stubpack: builds, inspects and extracts the setup packages of the stub", "stubpack"};
  auto o = std::make_unique<Options>();
  MakeApp(app, *o);
  int code = Parse(app, args);
  if (code >= 0) return code;

  if (o->buildCommand->parsed() && !o->config.empty()) {
    // The config file's words go first, so that the command line overrides them.
    std::vector<std::string> keys{"input"};
    for (const CLI::Option* option : o->buildCommand->get_options())
      for (const std::string& name : option->get_lnames())
        if (name != "help" && name != "config") keys.push_back(name);
    std::vector<std::string> words = ConfigArguments(
        PathOf(o->config), [&](const std::string& key) { return KindOf(o->buildCommand, key); }, keys);
    std::vector<std::string> combined{args[0], "build"};
    combined.insert(combined.end(), words.begin(), words.end());
    bool after = false;
    for (size_t i = 1; i < args.size(); ++i) {
      if (after) combined.push_back(args[i]);
      if (args[i] == "build") after = true;
    }
    CLI::App again{"stubpack", "stubpack"};
    o = std::make_unique<Options>();
    MakeApp(again, *o);
    code = Parse(again, combined);
    if (code >= 0) return code;
  }

  if (o->buildCommand->parsed()) {
    RunBuild(o->build);
    return kExitOk;
  }
  if (o->inspect->parsed()) {
    const PackageView view = ReadPackageView(o->package, o->codePage);
    if (o->json) PrintViewJson(view, o->codePage);
    else PrintView(view, o->codePage);
    return view.problems.empty() ? kExitOk : kExitDamaged;
  }
  if (o->extract->parsed()) return RunExtract(o->package, o->folder, o->codePage, o->verbose);
  if (o->scramble->parsed()) {
    std::string clear;
    if (!ToCodePage(o->text, o->codePage, clear)) throw InputError("the token has characters the code page cannot hold");
    std::printf("%s\n", stub::StableScrambledToken(clear).c_str());
    return kExitOk;
  }
  if (o->descramble->parsed()) {
    std::string clear;
    if (!stub::TryDescrambleToken(o->text, clear)) throw InputError("\"" + o->text + "\" is not a well-formed token");
    std::printf("%s\n", FromCodePage(clear, o->codePage).c_str());
    return kExitOk;
  }
  if (o->scrambleText->parsed()) {
    const std::string text = ReadWholeFile(PathOf(o->package), "the file");
    uint32_t seed = 2166136261u;  // the same text scrambles the same way
    for (unsigned char c : text) seed = (seed ^ c) * 16777619u;
    const std::string result = stub::ScrambleText(text, !o->decode, o->hex, seed ? seed : 1);
    if (o->textOut.empty()) WriteStdout(result);
    else WriteWholeFile(PathOf(o->textOut), result);
    return kExitOk;
  }
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  InitConsole();
  try {
    return Run(Arguments(argc, argv));
  } catch (const ToolError& e) {
    std::fprintf(stderr, "stubpack: %s\n", e.what());
    return e.Code();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "stubpack: out of memory\n");
    return kExitOutput;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "stubpack: %s\n", e.what());
    return kExitInput;
  }
}
