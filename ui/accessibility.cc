#include "ui/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

#include "ui/check_box.h"
#include "ui/control.h"
#include "ui/control_widget.h"
#include "ui/window.h"

namespace tavio_ui {
namespace {

// Roles of the library's own classes, most derived first: the first class a control is of
// decides. Controls of other layers say their role themselves (GetAccessibleRole).
struct ClassRole {
  const wchar_t* className;
  AccessibleRole role;
};
constexpr ClassRole kClassRoles[] = {
    {L"WindowContainer", AccessibleRole::kWindow},
    {L"CheckBox", AccessibleRole::kCheckBox},
    {L"Button", AccessibleRole::kPushButton},
    {L"Label", AccessibleRole::kLabel},
    {L"RichEdit", AccessibleRole::kEditableText},
    {L"Combobox", AccessibleRole::kComboBox},
    {L"ProgressBar", AccessibleRole::kProgressBar},
    {L"WebControl", AccessibleRole::kWebDocument},
    {L"Image", AccessibleRole::kHidden},
};

AccessibleRole RoleOf(Control* control) {
  const AccessibleRole own = control->GetAccessibleRole();
  if (own != AccessibleRole::kByClass) return own;
  for (const ClassRole& entry : kClassRoles) {
    void* cast = nullptr;
    if (!control->AsClass(entry.className, &cast)) continue;
    switch (entry.role) {
      case AccessibleRole::kWindow:
        // A window with an owner is that window's dialog.
        return static_cast<WindowContainer*>(cast)->GetOwnerHWND() != 0 ? AccessibleRole::kDialog
                                                                         : AccessibleRole::kWindow;
      case AccessibleRole::kCheckBox:
        // Without text a check box is a picture with two looks: a button that stays pressed.
        return control->GetText().empty() ? AccessibleRole::kToggleButton
                                          : AccessibleRole::kCheckBox;
      case AccessibleRole::kLabel:
        return control->IsClickable() ? AccessibleRole::kLink : AccessibleRole::kLabel;
      default:
        return entry.role;
    }
  }
  return AccessibleRole::kPane;
}

QAccessible::Role QtRole(AccessibleRole role) {
  switch (role) {
    case AccessibleRole::kWindow: return QAccessible::Window;
    case AccessibleRole::kDialog: return QAccessible::Dialog;
    case AccessibleRole::kPushButton:
    case AccessibleRole::kToggleButton: return QAccessible::PushButton;
    case AccessibleRole::kCheckBox: return QAccessible::CheckBox;
    case AccessibleRole::kComboBox: return QAccessible::ComboBox;
    case AccessibleRole::kSlider: return QAccessible::Slider;
    case AccessibleRole::kSpinButton: return QAccessible::SpinBox;
    case AccessibleRole::kLink: return QAccessible::Link;
    case AccessibleRole::kLabel: return QAccessible::StaticText;
    case AccessibleRole::kEditableText: return QAccessible::EditableText;
    case AccessibleRole::kProgressBar: return QAccessible::ProgressBar;
    case AccessibleRole::kWebDocument: return QAccessible::WebDocument;
    case AccessibleRole::kHidden:
    case AccessibleRole::kPane:
    case AccessibleRole::kByClass: break;
  }
  return QAccessible::Pane;
}

bool IsPressable(AccessibleRole role) {
  return role == AccessibleRole::kPushButton || role == AccessibleRole::kToggleButton ||
         role == AccessibleRole::kCheckBox || role == AccessibleRole::kLink ||
         role == AccessibleRole::kComboBox;
}

// The interface of one control's widget. Everything is asked of the control when a reader asks,
// so nothing here goes stale; a widget whose control has gone answers as an empty pane.
class ControlAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit ControlAccessible(ControlWidget* widget) : QAccessibleWidget(widget) {}

  Control* control() const { return static_cast<ControlWidget*>(widget())->control(); }

  AccessibleRole ResolvedRole() const { return control() ? RoleOf(control()) : AccessibleRole::kPane; }

  QAccessible::Role role() const override { return QtRole(ResolvedRole()); }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    Control* c = control();
    if (!c) return s;
    const AccessibleRole r = ResolvedRole();
    if (r == AccessibleRole::kHidden) s.invisible = true;
    if (r == AccessibleRole::kCheckBox || r == AccessibleRole::kToggleButton) {
      void* cast = nullptr;
      c->AsClass(L"CheckBox", &cast);
      const bool checked = cast && static_cast<CheckBox*>(cast)->GetState() != CheckBox::kUnchecked;
      s.checkable = true;
      s.checked = checked;
      if (r == AccessibleRole::kToggleButton) s.pressed = checked;
    }
    if (r == AccessibleRole::kEditableText) s.editable = true;
    if (!c->GetEnabled(true)) s.disabled = true;
    return s;
  }

  QString text(QAccessible::Text t) const override {
    Control* c = control();
    if (!c) return {};
    switch (t) {
      case QAccessible::Name:
        return QString::fromStdWString(c->GetAccessibleName());
      case QAccessible::Description:
        return QString::fromStdWString(c->GetToolTip());
      case QAccessible::Value: {
        AccessibleValue value;
        if (c->GetAccessibleValue(&value)) {
          return value.text.empty() ? QString::number(value.current)
                                    : QString::fromStdWString(value.text);
        }
        const AccessibleRole r = ResolvedRole();
        if (r == AccessibleRole::kComboBox || r == AccessibleRole::kEditableText) {
          return QString::fromStdWString(c->GetText());
        }
        return {};
      }
      default:
        return QAccessibleWidget::text(t);
    }
  }

  void* interface_cast(QAccessible::InterfaceType t) override {
    AccessibleValue value;
    if (t == QAccessible::ValueInterface && control() && control()->GetAccessibleValue(&value)) {
      return static_cast<QAccessibleValueInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(t);
  }

  // The value interface.
  QVariant currentValue() const override { return Value().current; }
  QVariant minimumValue() const override { return Value().minimum; }
  QVariant maximumValue() const override { return Value().maximum; }
  QVariant minimumStepSize() const override { return Value().step; }
  void setCurrentValue(const QVariant& value) override {
    if (Control* c = control()) c->SetAccessibleValue(value.toDouble());
  }

  // Actions: a control that takes clicks can be pressed; the base adds focus where it applies.
  QStringList actionNames() const override {
    QStringList names = QAccessibleWidget::actionNames();
    Control* c = control();
    if (c && c->IsClickable() && IsPressable(ResolvedRole())) {
      names.prepend(ResolvedRole() == AccessibleRole::kCheckBox ? toggleAction() : pressAction());
    }
    return names;
  }

  void doAction(const QString& action) override {
    if (action == pressAction() || action == toggleAction()) {
      if (Control* c = control()) c->PerformClick();  // may destroy the control and its widget
      return;
    }
    QAccessibleWidget::doAction(action);
  }

  QStringList keyBindingsForAction(const QString& action) const override { return {}; }

 private:
  AccessibleValue Value() const {
    AccessibleValue value;
    if (Control* c = control()) c->GetAccessibleValue(&value);
    return value;
  }
};

QAccessibleInterface* CreateInterface(const QString& className, QObject* object) {
  // Our widgets declare no class of their own to Qt: they come by as plain QWidgets.
  if (className != QLatin1String("QWidget") || !object || !object->isWidgetType()) return nullptr;
  auto* widget = dynamic_cast<ControlWidget*>(static_cast<QWidget*>(object));
  if (!widget || !widget->control()) return nullptr;
  return new ControlAccessible(widget);
}

QWidget* WidgetOf(Control* control) { return control ? control->widget() : nullptr; }

}  // namespace

void InstallAccessibleFactory() {
  // Installed after Qt's own (QApplication's), so it is asked first.
  static const bool installed = [] {
    QAccessible::installFactory(&CreateInterface);
    return true;
  }();
  (void)installed;
}

void NotifyAccessibleNameChanged(Control* control) {
  QWidget* widget = WidgetOf(control);
  if (!widget || !QAccessible::isActive()) return;
  QAccessibleEvent event(widget, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&event);
}

void NotifyAccessibleValueChanged(Control* control) {
  QWidget* widget = WidgetOf(control);
  if (!widget || !QAccessible::isActive()) return;
  AccessibleValue value;
  if (control->GetAccessibleValue(&value)) {
    QAccessibleValueChangeEvent event(widget, value.current);
    QAccessible::updateAccessibility(&event);
  } else {
    QAccessibleEvent event(widget, QAccessible::ValueChanged);
    QAccessible::updateAccessibility(&event);
  }
}

void NotifyAccessibleStateChanged(Control* control) {
  QWidget* widget = WidgetOf(control);
  if (!widget || !QAccessible::isActive()) return;
  QAccessible::State changed;
  changed.checked = true;
  changed.pressed = true;
  QAccessibleStateChangeEvent event(widget, changed);
  QAccessible::updateAccessibility(&event);
}

}  // namespace tavio_ui
