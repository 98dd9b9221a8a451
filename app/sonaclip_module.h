// SonaclipModule: the running instance of the program. Its run operation prepares the
// process-wide services in a fixed order (exit scope, shared window slot, command line, logging,
// the Qt application, the main task loop, the shutdown registry, the skin), shows the main window,
// runs the main loop until the close button quits it, and tears everything down in reverse.
//
// Owned by the entry function, which also owns the InstanceGuard the module borrows. Everything
// here runs on the main thread.
#pragma once

#include <memory>

#include "app/message_listener.h"
#include "app/shared_window_slot.h"

class ActivationListener;
class InstanceGuard;
class MainForm;

namespace base {
class MessageLoop;
}

// The main window, built on the first call (from any thread; concurrent first calls get the
// same window). Registered with the shutdown registry when one exists, which destroys it.
MainForm* GetMainWindow();

// The main thread's task loop while the run operation keeps it, else null. Any thread may read
// it; posting to the loop it returns is safe only while the run lasts.
base::MessageLoop* GetMainMessageLoop();

class SonaclipModule : public MessageListener {
 public:
  // The exit code when an exception escapes loading the skin.
  static constexpr int kSkinExceptionExitCode = -1;

  explicit SonaclipModule(InstanceGuard* guard);
  ~SonaclipModule() override;

  SonaclipModule(const SonaclipModule&) = delete;
  SonaclipModule& operator=(const SonaclipModule&) = delete;

  // Runs the program as the running instance; returns the process exit code: 0 after a normal
  // run and when the skin cannot be loaded (nothing is shown then), kSkinExceptionExitCode when
  // loading the skin throws.
  int Run();

  // A later start's part when another instance runs: reads the running window's handle from the
  // shared window slot and asks that window to come to the front and show itself, waiting at
  // most kActivationAnswerLimit for it to answer. Sends nothing when no handle is published yet.
  // Always true; the entry function then exits with 0.
  bool HandOff();

  // Unmaps and closes the shared window slot, if any.
  void DestroySharedWindowSlot();

  // MessageListener. Nothing to do on this platform; they mark the moments a crash report or a
  // start-up measurement would hook into.
  void OnMainWindowClose() override;
  void OnMainWindowShow() override;
  void OnFirstPaint() override;

  MainForm* mainWindow() const { return mainForm; }
  SharedWindowSlotHolder* sharedWindowSlot() const { return windowSlot.get(); }

 private:
  MainForm* mainForm = nullptr;  // the singleton; null until created and from shutdown on
  InstanceGuard* guard;            // owned by the entry function
  std::unique_ptr<SharedWindowSlotHolder> windowSlot;
  // Answers later starts while the main window exists.
  std::unique_ptr<ActivationListener> activationListener;
};
