// The two hooks that keep the main loop's tasks and timers running while the UI library pumps a
// loop of its own (a modal window, a dialog). The program registers them with the UI library,
// which calls BeforePumpMessage before its nested loop and AfterPumpMessage with that result
// after it. Main (UI) thread only; the depth counter is process-wide.
#pragma once

namespace base {

// Remembers the current loop's nestable-tasks flag, allows nestable tasks (waking the loop), adds
// one to the depth and marks the loop modal; returns the remembered flag.
bool BeforePumpMessage();

// Restores the flag BeforePumpMessage returned, subtracts one from the depth and keeps the loop
// marked modal while any pump is still open.
void AfterPumpMessage(bool nestableWas);

// How many nested pumps are open now.
int NestedPumpDepth();

}  // namespace base
