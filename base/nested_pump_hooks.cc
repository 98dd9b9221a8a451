#include "base/nested_pump_hooks.h"

#include <atomic>

#include "base/message_loop.h"

namespace base {
namespace {

// Main thread only; atomic merely so that a stray call from elsewhere is not a data race.
std::atomic<int> gDepth{0};

}  // namespace

bool BeforePumpMessage() {
  MessageLoop* loop = MessageLoop::current();
  const int depth = gDepth.fetch_add(1) + 1;
  if (!loop) return false;
  const bool nestableWas = loop->NestableTasksAllowed();
  // Through false so that setting true always wakes the loop, even when it was true already.
  loop->SetNestableTasksAllowed(false);
  loop->SetNestableTasksAllowed(true);
  loop->set_os_modal_loop(depth > 0);
  return nestableWas;
}

void AfterPumpMessage(bool nestableWas) {
  MessageLoop* loop = MessageLoop::current();
  const int depth = gDepth.fetch_sub(1) - 1;
  if (!loop) return;
  loop->SetNestableTasksAllowed(nestableWas);
  loop->set_os_modal_loop(depth > 0);
}

int NestedPumpDepth() { return gDepth.load(); }

}  // namespace base
