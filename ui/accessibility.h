// What a screen reader is told about the controls. Qt exposes every widget on the desktop's
// accessibility bus (AT-SPI on Linux, which Orca reads) through a QAccessibleInterface, and a
// control's widget is a plain QWidget, which Qt alone would show as a nameless "filler". The
// factory installed here gives each control's widget an interface built from the control itself:
// the role a person expects for its class (or the one the control asks for), its name, its value
// where it has one and its press action. Every window made of our controls is covered, whatever
// builds it. Main thread only, like the controls.
#pragma once

#include <string>

namespace tavio_ui {

class Control;

// Roles as a reader names them. kByClass lets the library choose from the control's class.
enum class AccessibleRole {
  kByClass,
  kHidden,  // decoration (a background picture): not shown to readers
  kWindow,
  kDialog,
  kPane,
  kPushButton,
  kToggleButton,  // a push button that stays pressed (a picture of two states, no text)
  kCheckBox,
  kComboBox,
  kSlider,
  kSpinButton,
  kLink,
  kLabel,
  kEditableText,
  kProgressBar,
  kWebDocument,
};

// The value a reader reads of a slider, spin button or progress bar, and may set.
struct AccessibleValue {
  double current = 0;
  double minimum = 0;
  double maximum = 0;
  double step = 0;
  // The value as the control shows it ("01:23", "06.8"); empty to let the reader say the number.
  std::wstring text;
};

// Installs the interface factory. Called by every control's constructor; runs once.
void InstallAccessibleFactory();

// Tell a listening reader that the control's name, value or state changed (nothing happens while
// no reader listens).
void NotifyAccessibleNameChanged(Control* control);
void NotifyAccessibleValueChanged(Control* control);
void NotifyAccessibleStateChanged(Control* control);

}  // namespace tavio_ui
