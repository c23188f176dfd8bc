// The add-in library's COM module: its table of creatable classes behind DllGetClassObject.
// The module handle and the object count come from the shared server plumbing (kvcom).
#pragma once
#include "addin/base/com/ComServer.h"
