// The libFuzzer entry of one target, chosen when the binary is built
// (-DSTUB_FUZZ_TARGET="extraction"); scripts/fuzz.sh builds one binary per target.
#include <cstdio>
#include <cstdlib>

#include "FuzzTargets.h"

#ifndef STUB_FUZZ_TARGET
#error "STUB_FUZZ_TARGET names the target, as in FuzzTargets()"
#endif

static stubfuzz::TargetFunction g_target = nullptr;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_target = stubfuzz::FindTarget(STUB_FUZZ_TARGET);
  if (!g_target) {
    std::fprintf(stderr, "no fuzz target named %s\n", STUB_FUZZ_TARGET);
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_target(data, size);
  return 0;
}
