// RichEdit: a skinned single-line text field (a frame image from the skin around a native line
// editor). It is a Container so that derived fields can place their own buttons inside it. The
// text-changed handler runs on the main thread after every change of the text, typed or set.
// Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/container.h"

class QLineEdit;

namespace tavio_ui {

class RichEdit;

// What an edit reads from its skin entry beyond the common style, with the skin's defaults
// where the entry says nothing.
struct EditStyle {
  // The entry's padding, or the skin's "editPadding" when it has none.
  Insets insets;
  SkColor selection = 0;

  static EditStyle Read(const SkinItem* item);
};

// Shows the context menu of an edit; an edit without one shows none.
class EditMenuRunner {
 public:
  virtual ~EditMenuRunner() = default;
  virtual void RunMenu(RichEdit* edit, POINT screenPoint) = 0;
};

class RichEdit : public Container {
 public:
  explicit RichEdit(std::shared_ptr<EditMenuRunner> menuRunner = nullptr);
  ~RichEdit() override;

  void SetText(const std::wstring& text) override;
  std::wstring GetText() const override;
  void SetReadOnly(bool readOnly);
  bool GetReadOnly() const;
  // Selects characters start..end; end -1 means to the end of the text (0, -1: all).
  void SetSelection(int start, int end);
  // The selection as start and end character positions.
  void GetSelection(int* start, int* end) const;
  void SetTextChangedHandler(std::function<void(Control*)> handler);
  void SetTextColor(unsigned int argb) override;
  void SetEnabled(bool enabled) override;

  // Margins between the control's edge and its text; base: the skin's padding.
  virtual Insets GetInsets();
  // Places the text area inside the insets; derived fields place their buttons after it.
  void OnBoundsChanged(const CRect& bounds) override;
  // Once, when the edit can first show text (when it joins a window or is first shown).
  virtual void OnTextServicesReady();

  void DoPaint(SkCanvas* canvas) override;
  void DoSkinChanged(bool changed, SkinItem* item) override;
  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;

  // The native editor, for tests.
  QLineEdit* lineEdit() const { return edit; }

  // Keys the editor did not take: while it has the focus, keys without Ctrl or Alt stay with
  // the edit (they are typing, not the window's commands); Escape gives the focus back to the
  // window. Keys with Ctrl or Alt go on to the window.
  bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 protected:
  void OnChildAdded(Control* child) override;
  void OnParentChanged() override;
  // The edit's text is its value; its name comes from the owner or the skin.
  std::wstring AccessibleText() const override { return {}; }
  // The editor, which takes the keyboard focus, carries the name too.
  void UpdateAccessibleName() override;

 private:
  friend class RichEditHooks;
  void LayoutEdit();
  void TextServicesReadyOnce();

  QLineEdit* edit = nullptr;  // child of this control's widget
  std::shared_ptr<EditMenuRunner> menuRunner;
  std::function<void(Control*)> textChanged;
  bool servicesReady = false;
  // Text-changed reports running now. The editor's own handling of the change is still on the
  // stack under them, so a report that destroys this control must leave the editor to Qt.
  int reporting = 0;
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);  // false once destroyed
  EditStyle editStyle = EditStyle::Read(nullptr);
};

}  // namespace tavio_ui
