// SimpleCombobox: the UI library's drop-down list with a built-in list of strings, so an owner
// fills a choice list with a few AddItem calls. The strings live in a SimpleComboboxModel that the
// combobox owns and observes; the model tells it about every append and removal. The owning
// window keeps the combobox as a member. Main thread only.

#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/thread_checker.h"
#include "ui/combobox.h"

class SimpleComboboxModel : public tavio_ui::ListboxModel {
 public:
  SimpleComboboxModel() = default;
  ~SimpleComboboxModel() override = default;
  SimpleComboboxModel(const SimpleComboboxModel&) = delete;
  SimpleComboboxModel& operator=(const SimpleComboboxModel&) = delete;

  int GetCount() const override;
  // Empty for an index out of range.
  std::wstring GetItem(int index) const override;
  // Exact, case-sensitive; the first of equal entries; -1 when absent.
  int IndexOf(const std::wstring& text) const override;
  // False, and nothing changes or is told, for an index out of range.
  bool RemoveItem(int index) override;
  // Not owned; the observer must detach (nullptr) before it goes.
  void SetObserver(tavio_ui::ListboxModelObserver* observer) override;

  void AddItem(const std::wstring& text);

 private:
  std::vector<std::wstring> items;
  tavio_ui::ListboxModelObserver* observer = nullptr;
  // The UI thread, like the combobox that owns the model.
  THREAD_CHECKER(threadChecker);
};

class SimpleCombobox : public tavio_ui::Combobox {
 public:
  SimpleCombobox();
  ~SimpleCombobox() override;

  void AddItem(const std::wstring& text);
  SimpleComboboxModel* GetModel() const { return model.get(); }

 private:
  std::unique_ptr<SimpleComboboxModel> model;
};
