#include "ui/button.h"

#include <QPainter>

#include "ui/skin_manager.h"

namespace tavio_ui {

Button::Button() {
  SetClickable(true);
  SetTransparent(true);
}

Button::~Button() = default;

CSize Button::GetPreferredSize() {
  if (SkinItem* item = GetSkinItem()) {
    const CSize s = item->GetSize();
    if (s.cx > 0 && s.cy > 0) return s;
    if (const SkinImage* image = item->GetImage("normal")) return image->size();
  }
  return CSize(GetWidth(), GetHeight());
}

void Button::DoPaint(SkCanvas* canvas) {
  Control::DoPaint(canvas);
  if (GetText().empty()) return;
  const ControlStyle& style = GetStyle();
  CRect rect = GetClientRect();
  const Insets& p = style.padding;
  rect.DeflateRect(p.left(), p.top(), p.right(), p.bottom());
  // The pressed look sinks the text by a pixel.
  if (IsPressed() && IsHovered()) rect.OffsetRect(0, 1);
  PaintText(canvas, rect, QtAlignment(style.align.value_or(TextAlign::kCenter)));
}

void Button::PaintText(SkCanvas* canvas, const CRect& rect, int alignFlags) {
  QPainter* p = canvas->painter();
  p->save();
  p->setPen(QColor::fromRgba(EffectiveTextColor()));
  p->drawText(QRect(rect.left, rect.top, rect.Width(), rect.Height()),
              alignFlags | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdWString(GetText()));
  p->restore();
}

const wchar_t* Button::GetClass() const { return L"Button"; }

bool Button::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"Button", name, out) || Control::AsClass(name, out);
}

}  // namespace tavio_ui
