// A stand-in for stub.exe in package tests: "MZ", "PE" at 256, zeros at 248..255, then bytes.
#pragma once

#include <string>

inline std::string FakeStub(size_t size = 1024) {
  std::string s(size, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  s[256] = 'P';
  s[257] = 'E';
  for (size_t i = 300; i < size; ++i) s[i] = static_cast<char>(i * 7);
  return s;
}
