// The stub's version, shared by the VERSIONINFO resource and the code. Only #defines here,
// because the resource compiler reads this file too. Keep STUB_VERSION_TEXT in step with the numbers.
#pragma once

#define STUB_VERSION_MAJOR 1
#define STUB_VERSION_MINOR 0
#define STUB_VERSION_RELEASE 0
#define STUB_VERSION_BUILD 1
#define STUB_VERSION_NUMBERS STUB_VERSION_MAJOR, STUB_VERSION_MINOR, STUB_VERSION_RELEASE, STUB_VERSION_BUILD
#define STUB_VERSION_TEXT "1.0.0.1"
