#include <windows.h>

#include "stub/Stub.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return stub::StubMainBody(); }
