// A list model over a vector of texts for the tests of the combobox and the list: it tells its
// observer of every change, as the program's models do. Main thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ui/combobox.h"

namespace ui_test {

class ListModel : public tavio_ui::ListboxModel {
 public:
  ListModel() = default;
  explicit ListModel(std::vector<std::wstring> texts) : items(std::move(texts)) {}

  int GetCount() const override { return static_cast<int>(items.size()); }
  std::wstring GetItem(int i) const override {
    return i >= 0 && i < GetCount() ? items[static_cast<size_t>(i)] : std::wstring();
  }
  int IndexOf(const std::wstring& t) const override {
    for (int i = 0; i < GetCount(); ++i)
      if (items[static_cast<size_t>(i)] == t) return i;
    return -1;
  }
  bool RemoveItem(int i) override {
    if (i < 0 || i >= GetCount()) return false;
    items.erase(items.begin() + i);
    if (observer) observer->OnItemsRemoved(i, 1);
    return true;
  }
  void SetObserver(tavio_ui::ListboxModelObserver* o) override { observer = o; }
  void Add(const std::wstring& t) {
    items.push_back(t);
    if (observer) observer->OnItemsAdded(GetCount() - 1, 1);
  }
  void Insert(int at, const std::wstring& t) {
    items.insert(items.begin() + at, t);
    if (observer) observer->OnItemsAdded(at, 1);
  }
  std::vector<std::wstring> items;
  tavio_ui::ListboxModelObserver* observer = nullptr;
};

}  // namespace ui_test
