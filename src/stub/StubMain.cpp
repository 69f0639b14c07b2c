#include <windows.h>

#include <cstdlib>

#include "stub/Stub.h"

// The default terminate handler prints the demangled name of an escaped exception, which
// drags the whole demangler (about 46 KB) into a program that has no console to print on.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return stub::StubMainBody(); }
