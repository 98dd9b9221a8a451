#include "ui/container.h"

#include <algorithm>

#include "ui/control_widget.h"

namespace tavio_ui {

Container::Container() = default;

Container::~Container() {
  // Children outlive us only when their owner destroys them later; let go of their widgets so
  // Qt does not delete them with ours.
  std::vector<Control*> children = std::move(this->children_);
  this->children_.clear();
  for (Control* child : children) {
    child->parent_ = nullptr;
    if (QWidget* w = child->widget()) {
      w->hide();
      w->setParent(nullptr);
    }
  }
}

void Container::AddControl(Control* child) {
  if (!child || child == this) return;
  if (child->parent_ == this) return;
  if (child->parent_) child->parent_->RemoveControl(child);
  child->parent_ = this;
  children_.push_back(child);
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
  auto it = std::find(children_.begin(), children_.end(), child);
  if (it == children_.end()) return;
  children_.erase(it);
  child->parent_ = nullptr;
  if (QWidget* w = child->widget()) {
    w->hide();
    w->setParent(nullptr);
  }
}

Control* Container::GetChild(int index) const {
  if (index < 0 || index >= GetChildCount()) return nullptr;
  return children_[static_cast<size_t>(index)];
}

Control* Container::FindControl(const std::wstring& name) const {
  for (Control* child : children_) {
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
