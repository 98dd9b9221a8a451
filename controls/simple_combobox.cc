#include "controls/simple_combobox.h"

int SimpleComboboxModel::GetCount() const { return static_cast<int>(items.size()); }

std::wstring SimpleComboboxModel::GetItem(int index) const {
  if (index < 0 || index >= GetCount()) return std::wstring();
  return items[static_cast<size_t>(index)];
}

int SimpleComboboxModel::IndexOf(const std::wstring& text) const {
  for (int i = 0; i < GetCount(); ++i) {
    if (items[static_cast<size_t>(i)] == text) return i;
  }
  return -1;
}

bool SimpleComboboxModel::RemoveItem(int index) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  if (index < 0 || index >= GetCount()) return false;
  items.erase(items.begin() + index);
  if (observer) observer->OnItemsRemoved(index, 1);
  return true;
}

void SimpleComboboxModel::SetObserver(tavio_ui::ListboxModelObserver* newObserver) {
  observer = newObserver;
}

void SimpleComboboxModel::AddItem(const std::wstring& text) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  items.push_back(text);
  if (observer) observer->OnItemsAdded(GetCount() - 1, 1);
}

SimpleCombobox::SimpleCombobox() : model(std::make_unique<SimpleComboboxModel>()) {
  SetModel(model.get());
}

SimpleCombobox::~SimpleCombobox() {
  // Detached first, so no notification reaches a half-destroyed combobox.
  SetModel(nullptr);
  model.reset();
}

void SimpleCombobox::AddItem(const std::wstring& text) { model->AddItem(text); }
