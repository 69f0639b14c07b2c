#include "Inputs.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <system_error>

#include "Errors.h"
#include "FileIO.h"
#include "PackageWriter.h"
#include "PeInfo.h"
#include "Suggest.h"
#include "package/Records.h"
#include "support/Text.h"

namespace stubpack {

std::string PackagePathOf(const std::string& utf8Path, int codePage, const std::string& what) {
  std::string path;
  if (!ToCodePage(utf8Path, codePage, path))
    throw InputError(what + " \"" + utf8Path + "\" has characters that code page " + std::to_string(codePage) +
                     " cannot hold; rename it or choose the code page of its language with --codepage");
  path = stub::ReplaceChar(path, '/', '\\');
  if (path.find('*') != std::string::npos)
    throw InputError(what + " \"" + utf8Path + "\" holds \"*\", which marks the program to launch in a package");
  if (!stub::IsSafeRelativePath(path))
    throw InputError(what + " \"" + utf8Path +
                     "\" is not a name the stub may create inside its folder (absolute, \"..\", a device name, "
                     "a character Windows refuses, or longer than 259)");
  // Windows drops trailing dots and blanks, so "a." would land on "a".
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    const char last = path[end - 1];
    if (last == '.' || last == ' ')
      throw InputError(what + " \"" + utf8Path + "\" has a name ending in a dot or a blank, which Windows drops");
    start = end + 1;
  }
  return path;
}

uint32_t ParseDateOption(const std::string& text) {
  if (text == "0") return 0;
  stub::CivilTime t;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                  &t.second, &tail) != 6 ||
      t.year < 1980 || t.year > 2107 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 ||
      t.minute > 59 || t.second > 59 || t.hour < 0 || t.minute < 0 || t.second < 0)
    throw UsageError("--date wants YYYY-MM-DDTHH:MM:SS between 1980 and 2107 (or 0), not \"" + text + "\"");
  return stub::PackDosDateTime(t);
}

static void AddFile(std::vector<InputFile>& files, const fs::path& source, const std::string& relative,
                    const ScanOptions& options) {
  InputFile f;
  f.source = source;
  f.shown = relative;
  f.packagePath = PackagePathOf(relative, options.codePage, "the file name");
  std::error_code error;
  f.size = fs::file_size(source, error);
  std::FILE* probe = error ? nullptr : OpenFile(source, "rb");
  if (!probe) throw InputError("cannot read " + TextOf(source));
  std::fclose(probe);
  if (options.fixedDate) {
    f.dosDateTime = options.date;
  } else {
    int64_t seconds = 0;
    if (!ModifiedTime(source, seconds)) throw InputError("cannot read the date of " + TextOf(source));
    f.dosDateTime = stub::PackDosDateTime(LocalTimeOf(seconds));
  }
  files.push_back(f);
}

static void ScanFolder(std::vector<InputFile>& files, const fs::path& folder, const ScanOptions& options) {
  std::vector<std::pair<std::string, fs::path>> found;
  std::error_code error;
  fs::recursive_directory_iterator it(folder, error), end;
  for (; !error && it != end; it.increment(error)) {
    const fs::path& p = it->path();
    const std::string relative = fs::path(p).lexically_relative(folder).generic_u8string();
    std::error_code typeError;
    if (it->is_regular_file(typeError)) {
      found.emplace_back(relative, p);
    } else if (it->is_directory(typeError)) {
      if (it->is_symlink(typeError))
        throw InputError(TextOf(p) + " is a link to a folder, which stubpack does not follow; name its target as "
                         "an input of its own or copy it");
    } else {
      throw InputError(TextOf(p) + " is not a regular file");
    }
  }
  if (error) throw InputError("cannot read the folder " + TextOf(folder) + ": " + error.message());
  // Directory order depends on the file system; sorted, the same tree gives the same package.
  std::sort(found.begin(), found.end());
  for (const auto& entry : found) AddFile(files, entry.second, entry.first, options);
}

std::vector<InputFile> ScanInputs(const std::vector<std::string>& inputs, const ScanOptions& options) {
  std::vector<InputFile> files;
  for (const std::string& input : inputs) {
    const fs::path path = PathOf(input);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status)) {
      ScanFolder(files, path, options);
    } else if (fs::is_regular_file(status)) {
      AddFile(files, path, path.filename().u8string(), options);
    } else if (fs::exists(status)) {
      throw InputError(input + " is not a regular file or folder");
    } else {
      throw InputError(input + " does not exist");
    }
  }
  // Windows does not tell "A.txt" from "a.txt": two such inputs would end up in one file.
  std::map<std::string, const InputFile*> seen;
  for (const InputFile& f : files) {
    auto at = seen.emplace(stub::UpperCase(f.packagePath), &f);
    if (!at.second)
      throw InputError("\"" + at.first->second->shown + "\" (" + TextOf(at.first->second->source) + ") and \"" +
                       f.shown + "\" (" + TextOf(f.source) + ") are the same file on Windows");
  }
  return files;
}

void MarkMainFile(std::vector<InputFile>& files, const std::string& mainPath, int codePage) {
  const std::string wanted = stub::UpperCase(PackagePathOf(mainPath, codePage, "--main"));
  for (InputFile& f : files) {
    if (stub::UpperCase(f.packagePath) != wanted) continue;
    // The stub starts it with CreateProcess, which fails on anything else ("Bad EXE format").
    std::unique_ptr<FileSource> source = FileSource::Open(f.source);
    if (!source || !IsWindowsProgram(*source))
      throw InputError("--main " + mainPath + " (" + TextOf(f.source) +
                       ") is not a Windows program; the stub could not start it");
    f.main = true;
    return;
  }
  // The same name in a subfolder, else the name nearest to what was typed.
  std::string hint;
  std::vector<std::string> names;
  for (const InputFile& f : files) {
    if (stub::EndsWithText("\\" + stub::FileNamePart(wanted), "\\" + stub::UpperCase(f.packagePath), true))
      hint = f.shown;
    names.push_back(f.shown);
  }
  throw InputError("--main " + mainPath + " is not among the files of the package" +
                   (hint.empty() ? DidYouMean(stub::ReplaceChar(mainPath, '\\', '/'), names)
                                 : " (did you mean " + hint + "?)"));
}

}  // namespace stubpack
