// MessageListener: what the main thread's dispatcher reports about the main window as messages
// pass by (the window asked to close, shown, the program's first paint). Implemented by the
// module; called on the main thread only.
#pragma once

class MessageListener {
 public:
  virtual ~MessageListener() = default;
  virtual void OnMainWindowClose() = 0;
  virtual void OnMainWindowShow() = 0;
  virtual void OnFirstPaint() = 0;
};
