// Moves the PE headers of a linked Windows program to the fixed offset the package reader
// expects, leaving room for the stub's logical length just before them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace stub {

// Where the headers go: the package reader looks for "PE" here.
const std::size_t PeHeaderTarget = 0x100;

// The 64-bit logical length sits in the 8 bytes before the headers and is zero in a bare stub.
const std::size_t LogicalLengthOffset = PeHeaderTarget - 8;

// Moves the "PE\0\0" signature, COFF header, optional header and section table of `image`
// (PE32 or PE32+) to PeHeaderTarget, points e_lfanew at it and zeroes the bytes from the
// logical length field (or the end of the DOS stub, if earlier) up to the headers, and what is
// left of the old headers. Succeeds without changes when the headers are already there. On
// refusal returns false with the reason in `error` and leaves `image` untouched.
bool MovePeHeaders(std::vector<unsigned char>& image, std::string& error);

}  // namespace stub
