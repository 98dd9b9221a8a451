// Built into every test program of a ThreadSanitizer build: the sanitizer asks for these options
// at start-up, so the suppressions apply however the program is run (CTest, by hand, a debugger).
// TSAN_OPTIONS from the environment still comes on top.

extern "C" const char* __tsan_default_options() {
  return "suppressions=" SONACLIP_TSAN_SUPPRESSIONS;
}
