// The Qt widgets behind controls and windows (library-internal). ControlWidget turns Qt's paint,
// mouse and key events into the control's DoPaint and Win32-style mouse and key messages; FormWidget adds what a
// top-level window needs: close requests as WM_CLOSE, first paint and show/hide as posted
// messages, file drops, dragging a frameless window by its background, and the keyboard focus
// of the window itself (so the window's keys reach it until an edit is clicked or tabbed into).
// Main thread only.
#pragma once

#include <QWidget>

#include "base/win_types.h"
#include "ui/sk_canvas.h"

namespace tavio_ui {

class Control;
class WindowContainer;

// A skin colour as a Qt style-sheet colour, for the Qt editors and lists styled from the skin.
QString StyleSheetColor(SkColor c);

class ControlWidget : public QWidget {
 public:
  explicit ControlWidget(Control* control);
  ~ControlWidget() override;

  Control* control() const { return hostedControl; }
  void Detach() { hostedControl = nullptr; }
  // True while one of this widget's event handlers runs (the control must not delete it then).
  bool InEventHandler() const { return eventDepth > 0; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  // A key the focused widget did not take reaches its control as WM_KEYDOWN, then (when the
  // control does not handle it) its parent's, up to the window.
  void keyPressEvent(QKeyEvent* event) override;

  // Delivers one mouse message; false when the control did not handle it (the event then goes on
  // to the parent widget).
  bool Deliver(UINT message, QMouseEvent* event);
  void SendSetCursor();

  Control* hostedControl;
  int eventDepth = 0;
};

class FormWidget : public ControlWidget {
 public:
  explicit FormWidget(WindowContainer* window);
  ~FormWidget() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  WindowContainer* window() const;
};

}  // namespace tavio_ui
