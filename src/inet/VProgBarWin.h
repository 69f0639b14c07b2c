// The stub's progress handler: it drives the stub window's file bar and activity bar, and
// the one TProgBar of the process that the downloads and the update agent report through.
#pragma once

#include <windows.h>

#include <string>

#include "inet/VProgBar.h"

namespace stub {

// The stub window hands over its two progress controls when it makes them.
void SetStubProgressBars(HWND mainBar, HWND activityBar);
// kind 0: file bar 0..maximum at position with step, activity bar 0..5 at 0; kind 1: file
// bar one step on, activity bar one place on (1, 2, 3, 4, 5, 0, ...). The text of a step is
// shown only while a status line is set (below).
void StubProgressHandler(int kind, int64_t maximum, const std::string& text, int step, int position);
// While control is set, steps that carry a text (the amounts and rate of a download) put
// prefix + text into it, a few times a second at most. Null stops it.
void SetStubProgressStatus(HWND control, const std::string& prefix);
// Made on first use with StubProgressHandler and waits that serve window messages; it lives
// until the program ends.
TProgBar& StubProgBar();

}  // namespace stub
