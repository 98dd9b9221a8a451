// Combobox: a skinned drop-down list. Its items come from a ListboxModel that the owner keeps
// (SetModel; the combobox observes it through ListboxModelObserver and follows its changes).
// Choosing an item, by the user in the drop-down or by SetText/SetSelected, calls the
// item-selected handler on the main thread with the combobox and the index, whenever the chosen
// index changes. Read-only comboboxes (the only kind this program uses) show the chosen item's
// text. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/control.h"

namespace tavio_ui {

// Told by a model about its changes. Indexes and counts are of items.
class ListboxModelObserver {
 public:
  virtual ~ListboxModelObserver() = default;
  virtual void OnModelChanged() = 0;
  virtual void OnItemsChanged(int start, int count) = 0;
  virtual void OnItemsAdded(int start, int count) = 0;
  virtual void OnItemsRemoved(int start, int count) = 0;
};

// A list of texts.
class ListboxModel {
 public:
  virtual int GetCount() const = 0;
  // The item's text, or empty when index is out of range.
  virtual std::wstring GetItem(int index) const = 0;
  // Index of the first item equal to text, or -1.
  virtual int IndexOf(const std::wstring& text) const = 0;
  virtual bool RemoveItem(int index) = 0;
  virtual void SetObserver(ListboxModelObserver* observer) = 0;
  virtual ~ListboxModel() = default;
};

class ComboPopup;

// What a combobox reads from its skin entry beyond the common style, with the skin's defaults
// where the entry says nothing.
struct ComboboxStyle {
  // Margins of the text and the arrow; the skin's "comboPadding" without an entry.
  Insets padding;
  // The entry's "ComboArrow" bitmap; without one a chevron is drawn in the text colour: its
  // two tips chevronLift above the middle, its point chevronDepth below them.
  std::shared_ptr<SkBitmap> arrow;
  int chevronWidth = 0;
  double chevronDepth = 0;
  double chevronLift = 0;
  double chevronPen = 0;
  // Between the text and the arrow.
  int arrowGap = 0;
  // The drop-down list.
  SkColor popupBack = 0;
  SkColor popupSelected = 0;
  SkColor popupBorder = 0;
  int popupMinRowHeight = 0;
  int popupMaxRows = 0;

  static ComboboxStyle Read(const SkinItem* item);
};

class Combobox : public Control, public ListboxModelObserver {
 public:
  using ItemSelectedHandler = std::function<void(Combobox*, int)>;

  Combobox();
  ~Combobox() override;

  // Not owned; the combobox registers itself as the model's observer (and unregisters from the
  // previous model). nullptr detaches: do that before the model is destroyed.
  void SetModel(ListboxModel* model);
  ListboxModel* GetModel() const { return model; }

  // Read-only: the user can only pick items. An editable combobox is not supported: the flag is
  // kept and the text still changes only by picking.
  void SetReadOnly(bool readOnly) { this->readOnly = readOnly; }
  bool GetReadOnly() const { return readOnly; }
  void SetTextColor(unsigned int argb) override;

  // Chooses the first item with that text. A text that is no item clears the choice.
  void SetText(const std::wstring& text) override;
  void SetText(const wchar_t* text) { SetText(std::wstring(text ? text : L"")); }
  // The chosen item's text, empty when none is chosen.
  std::wstring GetText() const override;
  // Index of the chosen item, -1 when none.
  int GetSelected() const { return selected; }
  // Chooses an item by index (-1 or out of range clears the choice).
  void SetSelected(int index);

  void SetItemSelectedEventHandler(ItemSelectedHandler handler);

  // The drop-down list, as a click on the control opens it.
  void ShowDropDown();
  void HideDropDown();
  bool IsDroppedDown() const;

  void OnModelChanged() override;
  void OnItemsChanged(int start, int count) override;
  void OnItemsAdded(int start, int count) override;
  void OnItemsRemoved(int start, int count) override;

  void DoPaint(SkCanvas* canvas) override;
  void DoSkinChanged(bool changed, SkinItem* item) override;
  void SetEnabled(bool enabled) override;
  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;

 protected:
  void FireClick() override;
  // What the combobox chooses (its skin entry's "accessibleName"), then the chosen item: its
  // caption is part of the window's artwork, and a reader on AT-SPI has no other way to hear
  // the choice.
  std::wstring AccessibleText() const override;

 private:
  void Choose(int index, bool notify);

  ListboxModel* model = nullptr;
  bool readOnly = true;
  int selected = -1;
  ItemSelectedHandler itemSelected;
  std::unique_ptr<ComboPopup> popup;
  ComboboxStyle comboStyle = ComboboxStyle::Read(nullptr);
};

}  // namespace tavio_ui
