#include "ui/container.h"

#include <algorithm>

#include "ui/control_widget.h"

namespace tavio_ui {

Container::Container() = default;

Container::~Container() {
  // Children outlive us only when their owner destroys them later; let go of their widgets so
  // Qt does not delete them with ours.
  std::vector<Control*> children = std::move(this->children);
  this->children.clear();
  for (Control* child : children) {
    child->parent = nullptr;
    if (QWidget* w = child->widget()) {
      w->hide();
      w->setParent(nullptr);
    }
  }
}

void Container::AddControl(Control* child) {
  if (!child || child == this) return;
  if (child->parent == this) return;
  if (child->parent) child->parent->RemoveControl(child);
  child->parent = this;
  children.push_back(child);
  if (QWidget* w = child->widget()) {
    w->setParent(widget());
    // setParent hides the widget; the control's own flag decides.
    w->setVisible(child->GetVisible());
    w->raise();
  }
  child->OnParentChanged();
  OnChildAdded(child);
}

void Container::RemoveControl(Control* child) {
  auto it = std::find(children.begin(), children.end(), child);
  if (it == children.end()) return;
  children.erase(it);
  child->parent = nullptr;
  if (QWidget* w = child->widget()) {
    w->hide();
    w->setParent(nullptr);
  }
}

Control* Container::GetChild(int index) const {
  if (index < 0 || index >= GetChildCount()) return nullptr;
  return children[static_cast<size_t>(index)];
}

Control* Container::FindControl(const std::wstring& name) const {
  for (Control* child : children) {
    if (child->GetName() == name) return child;
    void* out = nullptr;
    if (child->AsClass(L"Container", &out)) {
      if (Control* found = static_cast<Container*>(out)->FindControl(name)) return found;
    }
  }
  return nullptr;
}

const wchar_t* Container::GetClass() const { return L"Container"; }

bool Container::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"Container", name, out) || Control::AsClass(name, out);
}

void Container::OnChildAdded(Control* child) {}

}  // namespace tavio_ui
