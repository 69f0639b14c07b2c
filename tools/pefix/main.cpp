// pefix FILE: moves the PE headers of a freshly linked stub to offset 256 (see PeFix.h).
// Exit codes: 0 done or nothing to do, 1 usage, 2 cannot read, 3 refused, 4 cannot write.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "PeFix.h"

namespace {

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Writes beside the target and renames over it, so a failed write never leaves half a program.
bool ReplaceFile(const std::string& path, const std::vector<unsigned char>& data) {
  const std::string temp = path + ".pefix-tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  struct stat original;
  if (stat(path.c_str(), &original) == 0) chmod(temp.c_str(), original.st_mode & 07777);
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: pefix FILE\n";
    return 1;
  }
  const std::string path = argv[1];
  std::vector<unsigned char> image;
  if (!ReadWholeFile(path, image)) {
    std::cerr << "pefix: cannot read " << path << "\n";
    return 2;
  }
  const std::vector<unsigned char> original = image;
  std::string error;
  if (!stub::MovePeHeaders(image, error)) {
    std::cerr << "pefix: " << path << ": " << error << "\n";
    return 3;
  }
  if (image == original) return 0;
  if (!ReplaceFile(path, image)) {
    std::cerr << "pefix: cannot write " << path << "\n";
    return 4;
  }
  return 0;
}
