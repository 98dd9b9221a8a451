// DigitalClock: the play-time display of the ring editor. It shows a whole number of seconds as a
// row of skin glyphs (digits, colon, minus) over a background bitmap, like a segment display.
// The owning window keeps it as a member and sets the shown value with SetSeconds; it raises no
// events. Main thread only.

#pragma once

#include <array>
#include <memory>
#include <string>

#include "controls/digital_time_text.h"
#include "ui/control.h"

namespace tavio_ui {

// The clock's look: the glyphs in the slots of digital_time_text.h (the digits, the colon, the
// minus sign) and the background. A bitmap the skin lacks is empty.
struct DigitalClockStyle {
  std::array<std::shared_ptr<SkBitmap>, kDigitalGlyphCount> glyphs;
  std::shared_ptr<SkBitmap> background;

  static DigitalClockStyle Read(const SkinItem& item);
};

class DigitalClock : public Control {
 public:
  DigitalClock();
  ~DigitalClock() override;

  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;
  void DoPaint(SkCanvas* canvas) override;
  // Takes the glyphs and the background from a changed skin entry; keeps the text as it is.
  void DoSkinChanged(bool changed, SkinItem* item) override;

  void SetSeconds(int value);
  int GetSeconds() const { return seconds; }
  // Reformats the shown text from the seconds and repaints the control.
  void UpdateText();
  // The text drawn; separate from the generic control text of SetText, which is never drawn.
  const std::wstring& GetTimeText() const { return timeText; }

  static std::wstring FormatTime(int seconds, int style) {
    return FormatDigitalTime(seconds, style);
  }

  // A reader hears a label: what the clock is (its skin entry's "accessibleName"), then the time.
  AccessibleRole GetAccessibleRole() override { return AccessibleRole::kLabel; }

 protected:
  std::wstring AccessibleText() const override;

 private:
  int seconds = 0;
  std::wstring timeText;
  int timeStyle = 0;  // 0: minutes:seconds, hours:minutes:seconds above one hour
  DigitalClockStyle clockStyle;
};

}  // namespace tavio_ui
