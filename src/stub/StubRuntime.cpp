// The pieces of the C++ runtime that stub.exe takes from here rather than from libstdc++.
// The stub is built without exceptions. libstdc++'s own versions of these raise them, and a
// single raise links the unwinder, the exception classes and, through their messages, a second
// (reference-counted) string implementation. Here a failed allocation ends the program with
// the error box and the setup failure code; every other such failure ends it with abort(), as
// an exception that nobody catches does. Sizes read from files never get this far: they go
// through TryResize and the nothrow allocations.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <new>
#include <string>

#include "package/ExitCodes.h"

// Memory ran out: nothing can be built any more, so the box's text is a constant and the box
// is the system's, which needs none of ours. The process ends at once, as the setup failed.
[[noreturn]] static void OutOfMemory() {
  MessageBoxA(nullptr, "Not enough memory to run the setup.\n\nClose other programs and try again.", "Error",
              MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST);
  ExitProcess(stub::kExitFailure);
}

void* operator new(size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) OutOfMemory();
  return block;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }

// Where the library would raise. An allocation that cannot be had ends as above. A length past
// max_size(), a position past the end, a call through an empty std::function are faults of
// this program, not of its input.
namespace std {
void __throw_bad_exception() { abort(); }
void __throw_bad_alloc() { OutOfMemory(); }
void __throw_bad_array_new_length() { OutOfMemory(); }
void __throw_bad_cast() { abort(); }
void __throw_bad_typeid() { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_domain_error(const char*) { abort(); }
void __throw_invalid_argument(const char*) { abort(); }
void __throw_length_error(const char*) { OutOfMemory(); }
void __throw_out_of_range(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
void __throw_runtime_error(const char*) { abort(); }
void __throw_range_error(const char*) { abort(); }
void __throw_overflow_error(const char*) { abort(); }
void __throw_underflow_error(const char*) { abort(); }
void __throw_bad_function_call() { abort(); }
}  // namespace std

// Should anything still reach std::terminate: the default handler prints the demangled name
// of an escaped exception, which drags the whole demangler (about 46 KB) into a program that
// has no console to print on.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// libstdc++ reads this clock through the POSIX thread library, which would come along whole.
std::chrono::steady_clock::time_point std::chrono::steady_clock::now() noexcept {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  const long long perSecond = frequency.QuadPart;
  const long long nanoseconds =
      count.QuadPart / perSecond * 1000000000LL + count.QuadPart % perSecond * 1000000000LL / perSecond;
  return time_point(duration(nanoseconds));
}

// std::string's members, built here without exceptions; libstdc++'s copies carry unwind tables
// for all of them.
template class std::__cxx11::basic_string<char>;
