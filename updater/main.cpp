// KVUpdater: swaps a downloaded add-in library into place. The swap is not written yet, so
// the program reports failure (exit code 1) instead of pretending it updated anything.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 1; }
