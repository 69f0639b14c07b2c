// One entry that feeds arbitrary bytes to every parser of package and command-line data.
// Used by the libFuzzer target (tests/fuzz) and by a deterministic mutation test.
#pragma once

#include <cstddef>
#include <cstdint>

void FeedParsers(const uint8_t* data, size_t size);
