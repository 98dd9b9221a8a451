#include "ui/sk_canvas.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

namespace {

QColor ToQColor(SkColor c) { return QColor::fromRgba(c); }

qreal Dpr(const QImage& image) { return image.isNull() ? 1.0 : image.devicePixelRatio(); }

// A rectangle of logical bitmap pixels in the image's device pixels.
QRectF ToDevice(const QImage& image, qreal l, qreal t, qreal r, qreal b) {
  const qreal d = Dpr(image);
  return QRectF(l * d, t * d, (r - l) * d, (b - t) * d);
}

}  // namespace

bool SkBitmap::allocN32Pixels(int w, int h) {
  if (w <= 0 || h <= 0) return false;
  qimage = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
  qimage.fill(Qt::transparent);
  return !qimage.isNull();
}

int SkBitmap::width() const {
  return qimage.isNull() ? 0 : static_cast<int>(std::lround(qimage.width() / Dpr(qimage)));
}

int SkBitmap::height() const {
  return qimage.isNull() ? 0 : static_cast<int>(std::lround(qimage.height() / Dpr(qimage)));
}

void SkBitmap::eraseColor(SkColor color) {
  if (!qimage.isNull()) qimage.fill(ToQColor(color));
}

SkColor SkBitmap::getColor(int x, int y) const {
  if (qimage.isNull() || x < 0 || y < 0 || x >= width() || y >= height()) return 0;
  const qreal d = Dpr(qimage);
  return qimage.pixelColor(static_cast<int>(x * d), static_cast<int>(y * d)).rgba();
}

SkCanvas::SkCanvas(QPainter* painter) : qpainter(painter) {}

SkCanvas::SkCanvas(SkBitmap* bitmap) : ownsPainter(true) {
  qpainter = new QPainter(&bitmap->image());
  qpainter->setRenderHint(QPainter::Antialiasing);
  qpainter->setRenderHint(QPainter::SmoothPixmapTransform);
}

SkCanvas::~SkCanvas() {
  if (ownsPainter) {
    qpainter->end();
    delete qpainter;
  }
}

void SkCanvas::drawBitmap(const SkBitmap& bitmap, SkScalar x, SkScalar y, const SkPaint* paint) {
  if (bitmap.empty()) return;
  drawBitmapRect(bitmap, nullptr,
                 SkRect::MakeXYWH(x, y, SkScalar(bitmap.width()), SkScalar(bitmap.height())),
                 paint);
}

void SkCanvas::drawBitmapRect(const SkBitmap& bitmap, const SkIRect* src, const SkRect& dst,
                              const SkPaint* paint) {
  if (!src) {
    drawBitmapRectToRect(bitmap, nullptr, dst, paint);
    return;
  }
  const SkRect s = SkRect::Make(*src);
  drawBitmapRectToRect(bitmap, &s, dst, paint);
}

void SkCanvas::drawBitmapRectToRect(const SkBitmap& bitmap, const SkRect* src, const SkRect& dst,
                                    const SkPaint* paint) {
  if (bitmap.empty() || dst.isEmpty()) return;
  const QImage& image = bitmap.image();
  const QRectF source = src ? ToDevice(image, src->fLeft, src->fTop, src->fRight, src->fBottom)
                            : QRectF(0, 0, image.width(), image.height());
  if (source.isEmpty()) return;
  const qreal oldOpacity = qpainter->opacity();
  if (paint) qpainter->setOpacity(oldOpacity * paint->alpha / 255.0);
  qpainter->drawImage(QRectF(dst.fLeft, dst.fTop, dst.width(), dst.height()), image, source);
  if (paint) qpainter->setOpacity(oldOpacity);
}

void SkCanvas::drawBitmapNine(const SkBitmap& bitmap, const SkIRect& center, const SkRect& dst,
                              const SkPaint* paint) {
  if (bitmap.empty() || dst.isEmpty()) return;
  const qreal bw = bitmap.width();
  const qreal bh = bitmap.height();
  // Source columns and rows: [0, cl), [cl, cr), [cr, bw).
  const qreal cl = std::clamp<qreal>(center.fLeft, 0, bw);
  const qreal cr = std::clamp<qreal>(center.fRight, cl, bw);
  const qreal ct = std::clamp<qreal>(center.fTop, 0, bh);
  const qreal cb = std::clamp<qreal>(center.fBottom, ct, bh);
  qreal left = cl, right = bw - cr, top = ct, bottom = bh - cb;
  // Corners shrink together when the destination is smaller than they are.
  const qreal dw = dst.width(), dh = dst.height();
  if (left + right > dw) {
    const qreal k = dw / (left + right);
    left *= k;
    right *= k;
  }
  if (top + bottom > dh) {
    const qreal k = dh / (top + bottom);
    top *= k;
    bottom *= k;
  }
  const qreal sx[4] = {0, cl, cr, bw};
  const qreal sy[4] = {0, ct, cb, bh};
  const qreal dx[4] = {dst.fLeft, dst.fLeft + left, dst.fRight - right, dst.fRight};
  const qreal dy[4] = {dst.fTop, dst.fTop + top, dst.fBottom - bottom, dst.fBottom};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      if (sx[col + 1] <= sx[col] || sy[row + 1] <= sy[row]) continue;
      if (dx[col + 1] <= dx[col] || dy[row + 1] <= dy[row]) continue;
      const SkRect s = SkRect::MakeLTRB(SkScalar(sx[col]), SkScalar(sy[row]),
                                        SkScalar(sx[col + 1]), SkScalar(sy[row + 1]));
      const SkRect d = SkRect::MakeLTRB(SkScalar(dx[col]), SkScalar(dy[row]),
                                        SkScalar(dx[col + 1]), SkScalar(dy[row + 1]));
      drawBitmapRectToRect(bitmap, &s, d, paint);
    }
  }
}

void SkCanvas::drawRect(const SkRect& rect, const SkPaint& paint) {
  qpainter->fillRect(QRectF(rect.fLeft, rect.fTop, rect.width(), rect.height()),
                     ToQColor(paint.color));
}

void SkCanvas::drawColor(SkColor color) {
  qpainter->fillRect(qpainter->window(), ToQColor(color));
}

void SkCanvas::drawText(const std::wstring& text, SkScalar x, SkScalar y, const SkPaint& paint) {
  qpainter->setPen(ToQColor(paint.color));
  qpainter->drawText(QPointF(x, y), QString::fromStdWString(text));
}

void SkCanvas::save() { qpainter->save(); }
void SkCanvas::restore() { qpainter->restore(); }
void SkCanvas::translate(SkScalar dx, SkScalar dy) { qpainter->translate(dx, dy); }
void SkCanvas::clipRect(const SkRect& rect) {
  qpainter->setClipRect(QRectF(rect.fLeft, rect.fTop, rect.width(), rect.height()),
                        Qt::IntersectClip);
}
