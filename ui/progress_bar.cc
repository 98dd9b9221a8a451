#include "ui/progress_bar.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

#include "ui/skin_manager.h"

namespace tavio_ui {

ProgressBar::ProgressBar() { SetTransparent(true); }
ProgressBar::~ProgressBar() = default;

void ProgressBar::SetDisplayRange(double minimum, double maximum) {
  this->minimum = minimum;
  this->maximum = maximum;
  Invalidate(nullptr);
}

void ProgressBar::SetValue(double value) {
  if (value == this->value) return;
  this->value = value;
  NotifyAccessibleValueChanged(this);
  Invalidate(nullptr);
}

bool ProgressBar::GetAccessibleValue(AccessibleValue* out) {
  *out = AccessibleValue{};
  out->minimum = minimum;
  out->maximum = maximum;
  out->current = std::isnan(value) ? minimum : std::clamp(value, minimum, std::max(minimum, maximum));
  return true;
}

double ProgressBar::FilledFraction() const {
  if (!(maximum > minimum) || std::isnan(value)) return 0;
  return std::clamp((value - minimum) / (maximum - minimum), 0.0, 1.0);
}

void ProgressBar::DoSkinChanged(bool changed, SkinItem* item) {
  Control::DoSkinChanged(changed, item);
  fillLook = item ? item->GetSharedImage("fill") : nullptr;
}

void ProgressBar::DoPaint(SkCanvas* canvas) {
  const CRect client = GetClientRect();
  const Insets& nine = GetStyle().ninePatch;
  // A missing track look falls back to the normal one.
  if (const SkinImage* track = GetStyle().looks.Get("track")) {
    track->Draw(*canvas->painter(), QRectF(0, 0, client.Width(), client.Height()), nine);
  }
  const int filled = static_cast<int>(std::lround(FilledFraction() * client.Width()));
  const SkinImage* fill = fillLook.get();
  if (!fill || filled <= 0) return;
  QPainter* p = canvas->painter();
  p->save();
  // A sliver narrower than the fill's rounded ends is cut from a bar of their width.
  p->setClipRect(QRect(0, 0, filled, client.Height()));
  const int drawn = std::max(filled, nine.width());
  fill->Draw(*p, QRectF(0, 0, drawn, client.Height()), nine);
  p->restore();
}

const wchar_t* ProgressBar::GetClass() const { return L"ProgressBar"; }

bool ProgressBar::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"ProgressBar", name, out) || Control::AsClass(name, out);
}

}  // namespace tavio_ui
