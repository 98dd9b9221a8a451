// A library that crashes when asked; the tests build it under a name from the bad-module table.

#define CRASH_FUNCTION extern "C" __attribute__((noinline, visibility("default"), no_sanitize("address", "undefined")))

CRASH_FUNCTION void CrashInsideTheModule() {
  volatile int* nowhere = nullptr;
  *nowhere = 3;
}
