#include "app/sonaclip_module.h"

#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/activation_listener.h"
#include "app/activation_request.h"
#include "app/crash_handlers.h"
#include "app/desktop_launcher.h"
#include "app/exit_callback_registry.h"
#include "app/instance_guard.h"
#include "app/main_thread_dispatcher.h"
#include "app/process_singleton.h"
#include "app/qt_translations.h"
#include "app/window_activation.h"
#include "base/at_exit.h"
#include "base/command_line.h"
#include "base/logging.h"
#include "base/message_loop.h"
#include "base/nested_pump_hooks.h"
#include "base/path_service.h"
#include "base/qt_pool_threads.h"
#include "base/thread_names.h"
#include "editor/main_form.h"
#include "platform/session_runtime_dir.h"
#include "ui/control.h"
#include "ui/messages.h"
#include "ui/skin_manager.h"
#include "ui/window.h"
#include "windows/hot_ring_web_wnd.h"

namespace {

constexpr char kMainThreadName[] = "TavioSonaclip";
constexpr wchar_t kWindowTitle[] = L"Tavio铃声制作专家";

// The main thread's task loop while it exists; see GetMainMessageLoop. Atomic because other
// threads may read it to post work to the main thread.
std::atomic<base::MessageLoop*> g_mainLoop{nullptr};

// The skin file: the executable's own path with its extension replaced by ".skn", so a renamed
// program looks for a skin of its new name.
std::filesystem::path SkinPathFor(std::filesystem::path executable) {
  executable.replace_extension(".skn");
  return executable;
}

// Qt keeps a reference to argc and argv for the application's whole life. The program reads
// no arguments of its own, and Qt gets none either: only the program's name.
struct QtArguments {
  int argc = 1;
  char name[9] = "sonaclip";
  char* argv[2] = {name, nullptr};
};

// What the run operation builds, in the order it builds it; Shutdown takes it down in reverse.
struct RunState {
  std::unique_ptr<base::AtExitManager> exitScope;
  QtArguments qtArguments;
  std::unique_ptr<QApplication> application;
  std::unique_ptr<base::MessageLoop> mainLoop;
  std::unique_ptr<ExitCallbackRegistry> exitCallbacks;
  std::unique_ptr<tavio_ui::SkinManager> skinManager;
};

// Test hook: with this variable set, the process stops itself (SIGSTOP) right before it creates
// its main window, holding the "starting" claim, so tests can play an instance stuck in start-up.
constexpr char kTestHookStopBeforeWindow[] = "SONACLIP_TEST_HOOK_STOP_BEFORE_WINDOW";

void Shutdown(RunState& state) {
  g_mainLoop.store(nullptr, std::memory_order_release);

  // The registry destroys the main window while the skin and the loop still exist.
  if (state.exitCallbacks) {
    state.exitCallbacks->RunCallbacks();
    state.exitCallbacks.reset();
  }
  // Unregistered before it is destroyed, so no control can reach a dead manager in between.
  if (state.skinManager) {
    tavio_ui::UnRegisterSkinManager();
    state.skinManager.reset();
  }
  if (state.mainLoop) {
    tavio_ui::UIJoinMessageLoop(nullptr);
    state.mainLoop.reset();  // tasks still queued are discarded
  }
  if (state.application) {
    state.application.reset();
    // Qt's pool threads free their last record as they exit; the process waits for that.
    base::EndQtPoolThreads();
  }
  state.exitScope.reset();  // the runtime's own exit callbacks run last
}

// SIGTERM is the request to quit (a session sends it at logout): it ends the run as the close
// button does, the window hidden through WM_CLOSE and the loop quit behind it, so shutdown runs
// in order and the counters are saved. The crash handlers turn the signal into a readable byte.
std::unique_ptr<QSocketNotifier> QuitOnTerminateRequest(MainForm* window) {
  const int fd = crash::TerminateRequestFd();
  if (fd < 0) return nullptr;
  auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, [fd, window] {
    char drained[16];
    while (read(fd, drained, sizeof drained) > 0) {
    }
    window->PostMessageW(WM_CLOSE, 0, 0);
    tavio_ui::PostQuitMessage(0);
  });
  return notifier;
}

}  // namespace

MainForm* GetMainWindow() {
  return ProcessSingleton<MainForm>::Get();
}

base::MessageLoop* GetMainMessageLoop() {
  return g_mainLoop.load(std::memory_order_acquire);
}

SonaclipModule::SonaclipModule(InstanceGuard* guard) : guard(guard) {}

SonaclipModule::~SonaclipModule() = default;

bool SonaclipModule::HandOff() {
  if (!windowSlot)
    windowSlot = SharedWindowSlot::Create(SharedWindowSlot::DefaultName(), false);
  const std::uint32_t window = SharedWindowSlot::Read(windowSlot.get());
  if (window != 0) {
    SendActivationRequest(ActivationSocketPath(platform::SessionRuntimeDir(), window),
                          kActivationAnswerLimit, ActivationTokenFromEnvironment());
  }
  return true;
}

void SonaclipModule::DestroySharedWindowSlot() {
  windowSlot.reset();
}

void SonaclipModule::OnMainWindowClose() {}
void SonaclipModule::OnMainWindowShow() {}
void SonaclipModule::OnFirstPaint() {}

int SonaclipModule::Run() {
  crash::InstallCrashHandlers();
  RunState state;
  state.exitScope = std::make_unique<base::AtExitManager>();

  // Tells later starts that an instance is still starting, until the window is shown.
  guard->TakeMainFormMutex();
  if (!windowSlot)
    windowSlot = SharedWindowSlot::Create(SharedWindowSlot::DefaultName(), true);

  base::CommandLine::Init(0, nullptr);
  logging::LoggingSettings logSettings;
  logSettings.logging_dest = logging::LOG_NONE;
  logSettings.log_file = L"tavio.Sonaclip.log";
  logSettings.lock_log = logging::DONT_LOCK_LOG_FILE;
  logSettings.delete_old = logging::DELETE_OLD_LOG_FILE;
  logging::InitLogging(logSettings);

  // No OpenGL here (no Qt::AA_ShareOpenGLContexts): the browser engine, the one user of a GL
  // driver, starts its own context when the web plug-in first loads. The UI kind of task loop
  // runs inside Qt's event loop, so the application comes first.
  state.application =
      std::make_unique<QApplication>(state.qtArguments.argc, state.qtArguments.argv);
  // Only the quit message ends the program; closing or hiding windows never does on its own.
  QApplication::setQuitOnLastWindowClosed(false);
  LoadQtChineseTranslations();
  state.mainLoop = std::make_unique<base::MessageLoop>(base::MessageLoop::TYPE_UI);
  g_mainLoop.store(state.mainLoop.get(), std::memory_order_release);
  tavio_ui::UIJoinMessageLoop(state.mainLoop.get());
  base::SetCurrentThreadName(kMainThreadName);
  state.mainLoop->set_thread_name(kMainThreadName);

  state.exitCallbacks = std::make_unique<ExitCallbackRegistry>();
  tavio_ui::Control::RegisterBeforePumpMessage(&base::BeforePumpMessage);
  tavio_ui::Control::RegisterAfterPumpMessage(&base::AfterPumpMessage);

  bool skinLoaded = false;
  try {
    std::filesystem::path executable;
    base::PathService::Get(base::PathService::FILE_EXE, &executable);
    state.skinManager = std::make_unique<tavio_ui::SkinManager>();
    tavio_ui::RegisterSkinManager(state.skinManager.get());
    skinLoaded = state.skinManager->Load(SkinPathFor(executable).wstring().c_str(), false);
  } catch (...) {
    Shutdown(state);
    return kSkinExceptionExitCode;
  }

  if (skinLoaded) {
    tavio_ui::SkinManager* skin = state.skinManager.get();
    skin->SetAlpha(127, false);
    skin->SetSkinAlpha(149, false);
    skin->SetLayered(false, false);
    skin->SetBackColor(0xFF2B93E6, false);
    tavio_ui::Control::SetMainThreadId(static_cast<unsigned long>(gettid()));

    if (std::getenv(kTestHookStopBeforeWindow))
      raise(SIGSTOP);
    mainForm = GetMainWindow();
    // The editor's two ways out of its own window: the other-ringtones page for the song, and
    // the launcher on the desktop after the first save of the run.
    mainForm->SetOtherRingsOpener([](HWND owner, const std::wstring& songFileName) {
      return HotRingWebWnd::ShowForSong(owner, songFileName) != HotRingWebWnd::kPageUnavailable;
    });
    mainForm->SetShortcutPlacer([] { PlaceDesktopLauncher(); });
    const HWND handle = mainForm->Create(0);
    if (SharedWindowSlot::Publish(windowSlot.get(), static_cast<std::uint32_t>(handle))) {
      activationListener = std::make_unique<ActivationListener>(
          ActivationSocketPath(platform::SessionRuntimeDir(), static_cast<std::uint32_t>(handle)),
          [handle](const std::string& token) {
            PrepareWindowActivation(token);
            tavio_ui::SendMessage(handle, MainForm::kActivateMessage, 0, 0);
            if (tavio_ui::WindowContainer* window = tavio_ui::WindowContainer::FromHWND(handle))
              FinishWindowActivation(window->widget(), token);
          });
      activationListener->Listen();
    }

    mainForm->SetText(kWindowTitle);
    mainForm->SetShowCaption(false);
    mainForm->SetVisible(true);
    mainForm->SetCanSize(false);
    mainForm->Centerize(nullptr);
    mainForm->BringToFront();
    guard->ReleaseMainFormMutex();

    {
      const std::unique_ptr<QSocketNotifier> quitOnTerminate = QuitOnTerminateRequest(mainForm);
      MainThreadDispatcher dispatcher(mainForm, this);
      state.mainLoop->RunWithDispatcher(&dispatcher);
    }
    activationListener.reset();
    mainForm->Close();
  }

  mainForm = nullptr;
  Shutdown(state);
  return 0;
}
