// Container: a control that holds child controls. AddControl makes a control a child (its widget
// becomes a child of this one) without taking ownership: the owner, usually the window whose
// member the control is, keeps it alive and destroys it. Children are painted over the container
// in the order they were added. Main thread only.
#pragma once

#include <string>
#include <vector>

#include "ui/control.h"

namespace tavio_ui {

class Container : public Control {
 public:
  Container();
  ~Container() override;

  // Adds child (not owned). A child already in another container moves here. Null is ignored.
  void AddControl(Control* child);
  void RemoveControl(Control* child);
  int GetChildCount() const { return static_cast<int>(children.size()); }
  Control* GetChild(int index) const;
  // The first descendant with that skin name, depth first; null when none.
  Control* FindControl(const std::wstring& name) const;

  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;

 protected:
  // A child joined or left (after the fact).
  virtual void OnChildAdded(Control* child);

 private:
  friend class Control;
  std::vector<Control*> children;
};

}  // namespace tavio_ui
