#include "ui/image.h"

#include <QPainter>

#include "ui/skin_manager.h"

namespace tavio_ui {

Image::Image() = default;
Image::~Image() = default;

void Image::SetType(int type) {
  if (this->type == type) return;
  this->type = type;
  Invalidate(nullptr);
}

void Image::DoPaint(SkCanvas* canvas) {
  const ControlStyle& style = GetStyle();
  if (!GetTransparent() && style.back) {
    SkPaint paint;
    paint.setColor(*style.back);
    SkRect r;
    r.set(GetClientRect());
    canvas->drawRect(r, paint);
  }
  const SkinImage* image = style.looks.Get("normal");
  if (!image) return;
  const CRect client = GetClientRect();
  QRectF target(0, 0, client.Width(), client.Height());
  switch (type) {
    case kStretch:
      image->Draw(*canvas->painter(), target, Insets());
      break;
    case kCentered: {
      const CSize s = image->size();
      target = QRectF((client.Width() - s.cx) / 2.0, (client.Height() - s.cy) / 2.0, s.cx, s.cy);
      image->Draw(*canvas->painter(), target, Insets());
      break;
    }
    default:
      image->Draw(*canvas->painter(), target, style.ninePatch);
      break;
  }
}

const wchar_t* Image::GetClass() const { return L"Image"; }

bool Image::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"Image", name, out) || Control::AsClass(name, out);
}

}  // namespace tavio_ui
