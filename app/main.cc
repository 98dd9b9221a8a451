// The process entry of sonaclip. The program reads no command-line arguments of its own.

#include "app/instance_guard.h"
#include "app/sonaclip_module.h"

int main(int, char**) {
  InstanceGuard guard(L"TavioSonaclip", L"TavioSonaclipMainFormMutex",
                      L"TavioSonaclipDestroyingMutex");
  SonaclipModule module(&guard);

  int exitCode = 0;
  if (guard.Probe()) {
    exitCode = module.Run();
    module.DestroySharedWindowSlot();
    guard.ReleaseDestroyingMutex();
  } else {
    // Another instance runs: wake it; this start ends without a window of its own.
    module.HandOff();
    module.DestroySharedWindowSlot();
  }

  guard.ReleaseMainFormMutex();
  guard.ReleaseDestroyingMutex();
  guard.ReleaseInstanceMutex();
  return exitCode;
}
