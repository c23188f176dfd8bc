#pragma once
#include <string>
#include <vector>

#include "tools/hostsim/core/Script.h"

namespace hostsim {

// Runs the steps on the user-interface thread, pumping messages between and during steps.
// Returns false when a step failed (the rest is skipped). `quit` tells whether a quit step or
// an Application.Quit ended the run.
bool RunScript(const std::vector<ScriptStep>& steps, bool& quit);

// Processes messages for up to `ms` milliseconds; false once WM_QUIT was seen.
bool PumpMessages(int ms);

}  // namespace hostsim
