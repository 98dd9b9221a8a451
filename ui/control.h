// Control: the base of every skinned control and window of the program. A control is bound to its
// skin entry by SetName (position, size, images per state, font, colours), holds texts and flags
// the owner sets, paints through DoPaint on an SkCanvas and receives mouse input as Win32-style
// messages (ProcessMessage, DoMouseDown/Move/Up with x and y packed in lParam). Each control is
// backed by one Qt widget that it owns; adding a control to a Container makes that widget a child
// of the container's widget. The owner keeps the control alive (usually as a member) and destroys
// it; a control detaches itself from its parent when destroyed.
//
// Keys the focused widget does not take reach the control as WM_KEYDOWN, then its parents up to
// the window; a screen reader learns the control's role, name and value through the interface
// ui/accessibility.h builds from it.
//
// Events (click) are called on the main thread, with the sending control. Main thread only: a
// control belongs to the thread that created it, and its operations check that in debug builds.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/thread_checker.h"
#include "ui/accessibility.h"
#include "ui/control_style.h"
#include "ui/geometry.h"
#include "ui/messages.h"
#include "ui/sk_canvas.h"

class QWidget;

namespace tavio_ui {

class Container;
class ControlWidget;
class SkinItem;
class WindowContainer;

class Control {
 public:
  using ClickHandler = std::function<void(Control*)>;

  Control();
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Binds the control to the skin entry of that name: DoSkinChanged(true, item) with the entry
  // (or DoSkinChanged(false, nullptr) when the skin has none), then, while skin positioning is
  // on and the entry has a rectangle, SetPos with it.
  virtual void SetName(const std::wstring& name);
  const std::wstring& GetName() const { return name; }

  // Class name and checked down-cast: AsClass(name, out) is true when the control is of (or
  // derives from) the class named, and then stores this object, cast to that class, in *out.
  virtual const wchar_t* GetClass() const;
  virtual bool AsClass(const std::wstring& name, void** out);
  // The step every AsClass override takes first: true, with self stored in *out (when out is
  // given), when name is the class's own name; false sends the override on to its base.
  template <typename Self>
  static bool MatchClass(Self* self, const wchar_t* className, const std::wstring& name,
                         void** out) {
    if (name != className) return false;
    if (out) *out = self;
    return true;
  }

  // Position in the parent's client coordinates. SetPos(nullptr) is ignored.
  virtual void SetPos(const RECT* rect);
  CRect GetPos() const;
  // Client rectangle: (0, 0, width, height).
  CRect GetClientRect() const;
  int GetWidth() const;
  int GetHeight() const;
  // When off, SetName takes no position from the skin (the owner places the control).
  void SetSkinPosEnable(bool enable) { skinPosEnabled = enable; }
  bool GetSkinPosEnable() const { return skinPosEnabled; }
  // The skin's size for the control (entry size, else its normal image's size).
  virtual CSize GetPreferredSize();
  // Called after every change of size or position, with the new bounds (parent coordinates).
  virtual void OnBoundsChanged(const CRect& bounds);

  virtual void SetText(const std::wstring& text);
  virtual std::wstring GetText() const;
  virtual void SetVisible(bool visible);
  bool GetVisible() const { return visible; }
  virtual void SetEnabled(bool enabled);
  // The control's own flag; with checkParents, false also while a parent is disabled.
  bool GetEnabled(bool checkParents = true) const;
  // A transparent control fills no background of its own.
  void SetTransparent(bool transparent);
  bool GetTransparent() const { return transparent; }
  // Text look of text-drawing controls (labels, buttons, check boxes, edits, comboboxes).
  virtual void SetTextColor(unsigned int argb);
  void SetBold(bool bold);
  // Keyboard focus: SuppressCanFocus takes the control out of the focus chain.
  void SuppressCanFocus();
  virtual bool CanFocus() const;
  // Hint type 3 marks a control that tracks the mouse itself (a slider); kept for the callers.
  void SetHintType(int type) { hintType = type; }
  int GetHintType() const { return hintType; }

  void SetOnClick(ClickHandler handler);
  // Clicks the control as a press and release of the mouse over it would: only while it takes
  // clicks, is enabled and is shown. True when the click ran (its handler may have destroyed the
  // control). A reader's press action and a window's keys click through this.
  bool PerformClick();
  // A left press and release make a click (buttons; labels with a handler).
  bool IsClickable() const;

  // What a screen reader is told (see ui/accessibility.h). The name: the text the control shows
  // (AccessibleText), else its skin entry's "accessibleName"; never the skin name, which means
  // nothing to a listener.
  std::wstring GetAccessibleName() const;
  // The tip shown while the mouse rests on the control; a reader gives it as the description.
  void SetToolTip(const std::wstring& tip);
  const std::wstring& GetToolTip() const { return toolTip; }
  // The role; kByClass (the base) lets the library pick one from the class.
  virtual AccessibleRole GetAccessibleRole();
  // The value of a control that has one (sliders, spin buttons); false without.
  virtual bool GetAccessibleValue(AccessibleValue* value);
  // Sets it as the user would, with the callbacks the user's change raises; false when the
  // control has no value a reader may set.
  virtual bool SetAccessibleValue(double value);

  // Repaints later: the whole control (nullptr) or a rectangle of its client area.
  void Invalidate(const RECT* rect);
  // While captured, the control gets every mouse message, also outside its bounds.
  void SetMouseCapture(bool capture);
  bool HasMouseCapture() const { return capture; }

  Container* GetParent() const { return parent; }
  // The top-level window this control is in (itself for a window), or null.
  WindowContainer* GetOwnerWindow() const;
  SkinItem* GetSkinItem() const { return skinItem; }
  // The backing widget, for the library and tests.
  QWidget* widget() const;

  // Hover and pressed state as the standard looks use them.
  bool IsHovered() const { return hovered; }
  bool IsPressed() const { return pressed; }
  // "disabled", "pressed", "hover" or "normal".
  const char* CurrentState() const;

  // Hooks around every nested message loop the library runs (modal windows, dialogs, message
  // boxes): before is called when the loop starts and its result handed to after when it ends.
  static void RegisterBeforePumpMessage(std::function<bool()> hook);
  static void RegisterAfterPumpMessage(std::function<void(bool)> hook);
  // The UI thread, by its system id (gettid). Defaults to the thread that created the
  // application object.
  static void SetMainThreadId(unsigned long threadId);
  static unsigned long GetMainThreadId();

  // Messages for this control: mouse messages from its widget (WM_LBUTTONDOWN ... with MK_ flags
  // in wParam and x/y in lParam), WM_MOUSELEAVE, WM_SETCURSOR. Returns true when handled; result
  // is the message's result. The base routes mouse messages to DoMouseDown/Move/Up/Leave and
  // sets the arrow cursor (the hand over clickable labels) on WM_SETCURSOR.
  virtual bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // Paints the control; the base draws the back colour (unless transparent) and the skin image
  // of the current state.
  virtual void DoPaint(SkCanvas* canvas);
  // Base: pressed look on a left press; a left release inside a pressed, enabled control clicks.
  virtual bool DoMouseDown(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  virtual bool DoMouseMove(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  virtual bool DoMouseUp(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // Base: hover and pressed looks end, the control repaints.
  virtual void DoMouseLeave();
  // The skin entry changed (SetName, a newly loaded skin). changed is false and item null when
  // the skin has no entry of the control's name. The base reads the entry into the control's
  // style (skinStyle) and applies the font; a derived control reads its own style here too.
  virtual void DoSkinChanged(bool changed, SkinItem* item);

 protected:
  // Runs the click handlers (a copy of each, so a handler may destroy this control).
  virtual void FireClick();
  // Draws the state image of the style into rect (nine-patch from the style).
  void PaintSkinImage(SkCanvas* canvas, const std::string& state, const CRect& rect);
  // The text colour for the current state: explicit colour, else the skin's, else default.
  SkColor EffectiveTextColor() const;
  bool HasTextColor() const { return textColor.has_value(); }
  // The look read from the skin entry at the last skin change.
  const ControlStyle& GetStyle() const { return skinStyle; }
  bool IsBold() const;
  // The widget's font from the skin and the bold flag.
  void ApplyFont();
  // What the control shows as text, as a reader should say it; the name's second choice. Base:
  // the text. Controls whose text is their value (edits, comboboxes) show none.
  virtual std::wstring AccessibleText() const;
  // Hands the name to the widget (and a listening reader) after a change of any of its sources.
  virtual void UpdateAccessibleName();
  // Puts a different backing widget in place of the plain one (windows use a top-level one).
  void ReplaceWidget(ControlWidget* replacement);
  // The control joined a container (parent set, widget reparented).
  virtual void OnParentChanged();
  // A left press and release make a click (buttons; labels with a handler).
  void SetClickable(bool clickable) { this->clickable = clickable; }

  // The thread that created the control (the Qt application's), the only one that may use it.
  // Derived controls check their own public operations against it too.
  THREAD_CHECKER(threadChecker);

 private:
  friend class Container;
  friend class ControlWidget;
  friend void ForgetSkinItemsOf(const class SkinManager* manager);
  void DeliverMouse(UINT message, WPARAM wParam, int x, int y);
  void ApplySkin();

  // Owned; deleted in the destructor. Its back pointer is cleared then, and it clears this one
  // if Qt destroys it first (a parent widget that went before its child control).
  ControlWidget* hostWidget = nullptr;
  Container* parent = nullptr;
  SkinItem* skinItem = nullptr;
  std::wstring name;
  std::wstring text;
  std::wstring toolTip;
  ClickHandler onClick;
  bool skinPosEnabled = true;
  bool visible = true;
  bool enabled = true;
  bool transparent = false;
  bool canFocus = true;
  bool bold = false;
  bool boldSet = false;
  std::optional<SkColor> textColor;  // set by SetTextColor, over the skin's
  ControlStyle skinStyle = ControlStyle::Read(nullptr);
  int hintType = 0;
  bool hovered = false;
  bool pressed = false;
  bool capture = false;
  bool clickable = false;

 protected:
  // Clickable links show the hand cursor.
  bool handCursor = false;
};

}  // namespace tavio_ui
