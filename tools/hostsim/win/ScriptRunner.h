#pragma once
#include <vector>

#include "tools/hostsim/core/Script.h"

namespace hostsim {

// Starts the steps. They run from a thread timer, one step per tick, so they go on inside any
// message loop, a modal dialog's included: a click that opens a dialog returns at once and a
// later dialog-click can close it. A failed step ends the application with exit code 3.
void StartScript(std::vector<ScriptStep> steps);

// 0 while nothing failed, 3 after a failed step.
int ScriptExitCode();

}  // namespace hostsim
