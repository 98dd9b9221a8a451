// The UI kind of loop on Qt's event loop: tasks and native messages posted from other threads,
// the dispatcher's bits, WM_QUIT through nested pumps, and the main loop's timers inside a nested
// Qt loop run between the nested-pump hooks.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "base/nested_pump_hooks.h"
#include "base/thread_names.h"
#include "base/time_source.h"
#include "base/timer.h"

namespace {

constexpr UINT kTestMessage = 0x0400;  // WM_USER
constexpr UINT kClaimedMessage = 0x0401;
constexpr UINT kQuitAfterMessage = 0x0402;
constexpr UINT kDefaultMessage = 0x0403;
constexpr UINT kEndNestedMessage = 0x0404;

// Everything the loop hands out, in the order it happened, on the main thread.
struct Journal {
  std::vector<std::string> entries;
  void Add(const std::string& entry) { entries.push_back(entry); }
};

class RecordingDispatcher final : public base::MessagePumpDispatcher {
 public:
  explicit RecordingDispatcher(Journal* journal) : journal(journal) {}
  uint32_t Dispatch(const base::NativeMessage& message) override {
    journal->Add("dispatch " + std::to_string(message.message) + ":" + std::to_string(message.wParam));
    if (message.message == kEndNestedMessage && nested) nested->exit(0);
    if (message.message == kQuitAfterMessage) return kDispatchQuit;
    if (message.message == kDefaultMessage) return kDispatchDefault;
    return 0;
  }
  QEventLoop* nested = nullptr;

 private:
  Journal* journal;
};

class UiLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::MessageLoop::SetDefaultMessageProcessor([this](const base::NativeMessage& message) {
      journal.Add("default " + std::to_string(message.message) + ":" + std::to_string(message.wParam));
    });
    base::MessageLoop::SetMessageFilter(
        [](const base::NativeMessage& message) { return message.message == kClaimedMessage; });
  }
  void TearDown() override {
    base::MessageLoop::SetDefaultMessageProcessor(nullptr);
    base::MessageLoop::SetMessageFilter(nullptr);
  }
  void Note(const std::string& entry) { journal.Add(entry); }
  base::NativeMessage Message(UINT message, WPARAM wParam = 0) { return {42, message, wParam, 0}; }

  Journal journal;
  std::unique_ptr<base::MessageLoop> loop = std::make_unique<base::MessageLoop>(base::MessageLoop::TYPE_UI);
  RecordingDispatcher dispatcher{&journal};
};

TEST_F(UiLoopTest, TasksAndMessagesFromAnotherThreadKeepPostingOrderOnTheMainThread) {
  const pid_t mainThread = base::CurrentThreadId();
  std::vector<pid_t> ranOn;
  base::MessageLoop* loop = this->loop.get();
  loop->PostTask(FROM_HERE, base::BindClosure([this] { Note("task main"); }));
  std::thread poster([&] {
    for (int i = 0; i < 20; ++i) {
      loop->PostTask(FROM_HERE, base::BindClosure([this, i, &ranOn] {
                       ranOn.push_back(base::CurrentThreadId());
                       Note("task " + std::to_string(i));
                     }));
      loop->PostNativeMessage(Message(kTestMessage, i));
    }
    // Quit from a task: queued behind every message posted above, and after every task.
    loop->PostTask(FROM_HERE, base::BindClosure([] { base::PostQuitMessage(7); }));
  });
  this->loop->RunWithDispatcher(&dispatcher);
  poster.join();

  // Tasks keep their order among tasks, messages among messages.
  std::vector<std::string> tasks, messages;
  for (const auto& entry : journal.entries) (entry.rfind("task", 0) == 0 ? tasks : messages).push_back(entry);
  std::vector<std::string> expectedTasks{"task main"}, expectedMessages;
  for (int i = 0; i < 20; ++i) {
    expectedTasks.push_back("task " + std::to_string(i));
    expectedMessages.push_back("dispatch 1024:" + std::to_string(i));
  }
  EXPECT_EQ(tasks, expectedTasks);
  EXPECT_EQ(messages, expectedMessages);
  ASSERT_EQ(ranOn.size(), 20u);
  for (pid_t id : ranOn) EXPECT_EQ(id, mainThread);
}

TEST_F(UiLoopTest, DispatcherBitsAndTheFilterDecideWhatHappensToAMessage) {
  loop->PostNativeMessage(Message(kTestMessage, 1));
  loop->PostNativeMessage(Message(kClaimedMessage, 2));
  loop->PostNativeMessage(Message(kDefaultMessage, 3));
  loop->PostNativeMessage(Message(kQuitAfterMessage, 4));
  loop->PostNativeMessage(Message(kTestMessage, 5));  // left for a later run
  loop->RunWithDispatcher(&dispatcher);
  EXPECT_EQ(journal.entries, (std::vector<std::string>{"dispatch 1024:1", "dispatch 1027:3", "default 1027:3",
                                                        "dispatch 1026:4"}));

  // Without a dispatcher every message gets default processing.
  journal.entries.clear();
  ASSERT_TRUE(base::PostQuitMessage(0));
  loop->Run();
  EXPECT_EQ(journal.entries, std::vector<std::string>{"default 1024:5"});
}

TEST_F(UiLoopTest, QuitInsideTheLibrarysOwnPumpEndsItAndThenTheOuterRun) {
  bool onQuitCalled = false;
  bool outerSawMessageInside = false;
  loop->PostTask(FROM_HERE, base::BindClosure([&] {
                    QEventLoop modal;
                    const bool nestable = base::BeforePumpMessage();
                    {
                      base::NestedPumpScope scope([&] {
                        onQuitCalled = true;
                        modal.exit(0);
                      });
                      loop->PostNativeMessage(Message(kTestMessage, 9));
                      base::PostQuitMessage(3);
                      modal.exec();
                    }
                    base::AfterPumpMessage(nestable);
                    outerSawMessageInside = !journal.entries.empty() && journal.entries[0].rfind("dispatch", 0) == 0;
                    Note("modal ended");
                    loop->PostTask(FROM_HERE, base::BindClosure([this] { Note("next task"); }));
                  }));
  loop->RunWithDispatcher(&dispatcher);

  EXPECT_TRUE(onQuitCalled);
  EXPECT_FALSE(outerSawMessageInside);
  // The quit message came back to the outer run, which ended before the task posted after it.
  EXPECT_EQ(journal.entries, (std::vector<std::string>{"default 1024:9", "modal ended"}));
}

// The receiver of a main-loop timer whose method drives a nested loop from inside.
class ModalTicker {
 public:
  ModalTicker(base::ManualTimeSource* clock, QEventLoop* modal) : clock(clock), modal(modal) {}
  void Tick() {
    ++ticks;
    if (ticks < 3) {
      clock->Advance(200000);
    } else if (modal) {
      modal->exit(0);
    }
  }
  int ticks = 0;
  base::RepeatingTimer<ModalTicker> timer;

 private:
  base::ManualTimeSource* clock;
  QEventLoop* modal;
};

TEST_F(UiLoopTest, TimersFireInsideANestedQtLoopOnlyBetweenThePumpHooks) {
  base::ManualTimeSource clock;
  base::ScopedTimeSourceForTesting useClock(&clock);
  int ticksInsideWithHooks = -1;
  int ticksInsideWithoutHooks = -1;
  bool pokeRanInside = false;
  bool modalFlagInside = false;
  int depthInside = -1;
  QEventLoop modal;
  ModalTicker ticker(&clock, &modal);

  loop->PostTask(FROM_HERE, base::BindClosure([&] {
                    ticker.timer.Start(FROM_HERE, 200000, &ticker, &ModalTicker::Tick);

                    // Between the hooks the timer keeps running; it ends the nested loop itself.
                    const bool nestable = base::BeforePumpMessage();
                    modalFlagInside = loop->os_modal_loop();
                    depthInside = base::NestedPumpDepth();
                    clock.Advance(200000);
                    modal.exec();
                    base::AfterPumpMessage(nestable);
                    ticksInsideWithHooks = ticker.ticks;
                    EXPECT_FALSE(loop->NestableTasksAllowed());
                    EXPECT_FALSE(loop->os_modal_loop());

                    // Without them neither tasks nor timers run inside, though messages do.
                    QEventLoop bare;
                    dispatcher.nested = &bare;
                    clock.Advance(1000000);
                    loop->PostTask(FROM_HERE, base::BindClosure([&] { pokeRanInside = true; }));
                    loop->PostNativeMessage(Message(kEndNestedMessage));
                    bare.exec();
                    dispatcher.nested = nullptr;
                    ticksInsideWithoutHooks = ticker.ticks;
                    loop->PostTask(FROM_HERE, base::BindClosure([&] { loop->Quit(); }));
                  }));
  loop->RunWithDispatcher(&dispatcher);

  EXPECT_TRUE(modalFlagInside);
  EXPECT_EQ(depthInside, 1);
  EXPECT_EQ(base::NestedPumpDepth(), 0);
  EXPECT_EQ(ticksInsideWithHooks, 3);
  EXPECT_EQ(ticksInsideWithoutHooks, 3);
  EXPECT_TRUE(pokeRanInside);  // ran, but only after the nested loop had ended
  EXPECT_EQ(journal.entries, std::vector<std::string>{"dispatch 1028:0"});
}

TEST_F(UiLoopTest, DelayedTaskWakesQtWhenDue) {
  bool ran = false;
  loop->PostDelayedTask(FROM_HERE, base::BindClosure([&] {
                           ran = true;
                           loop->Quit();
                         }),
                         2000);
  loop->Run();  // no time asserted: the Qt timer must simply come
  EXPECT_TRUE(ran);
}

TEST_F(UiLoopTest, DestroyingTheLoopDropsQueuedTasksAndMessages) {
  auto state = std::make_shared<int>(0);
  loop->PostTask(FROM_HERE, base::BindClosure([state] { ++*state; }));
  loop->PostNativeMessage(Message(kTestMessage));
  loop.reset();
  QCoreApplication::processEvents();
  EXPECT_EQ(*state, 0);
  EXPECT_EQ(state.use_count(), 1);
  EXPECT_TRUE(journal.entries.empty());
  EXPECT_EQ(base::MessageLoop::current(), nullptr);
  EXPECT_FALSE(base::PostQuitMessage(0));
}

TEST(DefaultLoopMessagesTest, LoopWithoutMessageQueueRefusesNativeMessages) {
  base::MessageLoop loop(base::MessageLoop::TYPE_DEFAULT);
  EXPECT_FALSE(loop.PostNativeMessage({1, kTestMessage, 0, 0}));
  EXPECT_FALSE(base::PostQuitMessage(0));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
