#include "controls/digital_clock.h"

#include "ui/skin_manager.h"

namespace tavio_ui {
namespace {

constexpr wchar_t kClassName[] = L"DigitalTime";

const wchar_t* const kGlyphNames[kDigitalGlyphCount] = {
    L"Digital0", L"Digital1", L"Digital2", L"Digital3",         L"Digital4",        L"Digital5",
    L"Digital6", L"Digital7", L"Digital8", L"Digital9", L"DigitalTimeColon", L"DigitalTimeMinus",
};

bool HasPixels(const std::shared_ptr<SkBitmap>& bitmap) {
  return bitmap && !bitmap->empty();
}

}  // namespace

DigitalClockStyle DigitalClockStyle::Read(const SkinItem& item) {
  DigitalClockStyle style;
  for (int i = 0; i < kDigitalGlyphCount; ++i) {
    style.glyphs[i] = item.ReadBitmapAttribute(kGlyphNames[i]);
  }
  style.background = item.ReadBitmapAttribute(L"DigitalTimeBackground");
  return style;
}

DigitalClock::DigitalClock() { UpdateText(); }

DigitalClock::~DigitalClock() = default;

const wchar_t* DigitalClock::GetClass() const { return kClassName; }

bool DigitalClock::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, kClassName, name, out) || Control::AsClass(name, out);
}

void DigitalClock::SetSeconds(int value) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  seconds = value;
  UpdateText();
}

void DigitalClock::UpdateText() {
  timeText = FormatTime(seconds, timeStyle);
  UpdateAccessibleName();
  Invalidate(nullptr);
}

std::wstring DigitalClock::AccessibleText() const {
  const std::wstring& what = GetStyle().accessibleName;
  return what.empty() ? timeText : what + L" " + timeText;
}

void DigitalClock::DoPaint(SkCanvas* canvas) {
  const DigitalClockStyle& style = clockStyle;
  const CRect client = GetClientRect();
  if (HasPixels(style.background)) {
    SkRect dst;
    dst.set(client);
    canvas->drawBitmapRect(*style.background, nullptr, dst);
  }

  std::array<int, kDigitalGlyphCount> widths;
  for (int i = 0; i < kDigitalGlyphCount; ++i) {
    widths[i] = HasPixels(style.glyphs[i]) ? style.glyphs[i]->width() : -1;
  }
  for (const DigitalGlyphPlacement& placed : PackDigitalGlyphs(timeText, widths)) {
    const SkBitmap& glyph = *style.glyphs[placed.glyph];
    const SkRect dst = SkRect::MakeXYWH(static_cast<SkScalar>(placed.x), 0,
                                        static_cast<SkScalar>(glyph.width()),
                                        static_cast<SkScalar>(glyph.height()));
    canvas->drawBitmapRect(glyph, nullptr, dst);
  }
}

void DigitalClock::DoSkinChanged(bool changed, SkinItem* item) {
  // Without an entry the held look stays.
  if (changed && item) clockStyle = DigitalClockStyle::Read(*item);
  Control::DoSkinChanged(changed, item);
}

}  // namespace tavio_ui
