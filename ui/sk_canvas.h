// The small drawing types custom controls paint with: SkBitmap (an image, usually a skin bitmap),
// SkIRect/SkRect (integer and float rectangles), SkPaint and SkCanvas (the draws the controls need:
// nine-patch, rectangle to rectangle, at a point, filled rectangles and text). They keep the names
// and call shapes the controls were written against, over QImage and QPainter. A canvas borrows
// its painter for one paint pass. Main thread.
#pragma once

#include <cstdint>
#include <string>

#include <QImage>

#include "ui/geometry.h"

class QPainter;

using SkScalar = float;
using SkColor = std::uint32_t;  // 0xAARRGGBB

constexpr SkColor SkColorSetARGB(unsigned a, unsigned r, unsigned g, unsigned b) {
  return (static_cast<SkColor>(a & 0xFF) << 24) | (static_cast<SkColor>(r & 0xFF) << 16) |
         (static_cast<SkColor>(g & 0xFF) << 8) | static_cast<SkColor>(b & 0xFF);
}
constexpr unsigned SkColorGetA(SkColor c) { return (c >> 24) & 0xFF; }
constexpr unsigned SkColorGetR(SkColor c) { return (c >> 16) & 0xFF; }
constexpr unsigned SkColorGetG(SkColor c) { return (c >> 8) & 0xFF; }
constexpr unsigned SkColorGetB(SkColor c) { return c & 0xFF; }

struct SkIRect {
  int fLeft = 0;
  int fTop = 0;
  int fRight = 0;
  int fBottom = 0;

  static SkIRect MakeLTRB(int l, int t, int r, int b) { return SkIRect{l, t, r, b}; }
  static SkIRect MakeXYWH(int x, int y, int w, int h) { return SkIRect{x, y, x + w, y + h}; }
  static SkIRect MakeWH(int w, int h) { return SkIRect{0, 0, w, h}; }
  void set(int l, int t, int r, int b) { *this = SkIRect{l, t, r, b}; }
  void set(const RECT& r) { *this = SkIRect{r.left, r.top, r.right, r.bottom}; }
  int left() const { return fLeft; }
  int top() const { return fTop; }
  int right() const { return fRight; }
  int bottom() const { return fBottom; }
  int width() const { return fRight - fLeft; }
  int height() const { return fBottom - fTop; }
  bool isEmpty() const { return fRight <= fLeft || fBottom <= fTop; }
};

struct SkRect {
  SkScalar fLeft = 0;
  SkScalar fTop = 0;
  SkScalar fRight = 0;
  SkScalar fBottom = 0;

  static SkRect MakeLTRB(SkScalar l, SkScalar t, SkScalar r, SkScalar b) {
    return SkRect{l, t, r, b};
  }
  static SkRect MakeXYWH(SkScalar x, SkScalar y, SkScalar w, SkScalar h) {
    return SkRect{x, y, x + w, y + h};
  }
  static SkRect MakeWH(SkScalar w, SkScalar h) { return SkRect{0, 0, w, h}; }
  static SkRect Make(const SkIRect& r) {
    return SkRect{SkScalar(r.fLeft), SkScalar(r.fTop), SkScalar(r.fRight), SkScalar(r.fBottom)};
  }
  void set(SkScalar l, SkScalar t, SkScalar r, SkScalar b) { *this = SkRect{l, t, r, b}; }
  void set(const SkIRect& r) { *this = Make(r); }
  void set(const RECT& r) {
    *this = SkRect{SkScalar(r.left), SkScalar(r.top), SkScalar(r.right), SkScalar(r.bottom)};
  }
  SkScalar left() const { return fLeft; }
  SkScalar top() const { return fTop; }
  SkScalar right() const { return fRight; }
  SkScalar bottom() const { return fBottom; }
  SkScalar width() const { return fRight - fLeft; }
  SkScalar height() const { return fBottom - fTop; }
  bool isEmpty() const { return !(fRight > fLeft) || !(fBottom > fTop); }
};

// Colour and opacity of a draw. A null SkPaint* means: opaque, source-over.
struct SkPaint {
  SkColor color = 0xFF000000;
  unsigned alpha = 255;  // applied to bitmap draws
  void setColor(SkColor c) { color = c; }
  void setAlpha(unsigned a) { alpha = a > 255 ? 255 : a; }
};

// An image in logical pixels. Skin bitmaps rendered for a high-density screen carry more device
// pixels; width() and height() stay in logical pixels, as layouts expect.
class SkBitmap {
 public:
  SkBitmap() = default;
  explicit SkBitmap(QImage image) : qimage(std::move(image)) {}

  // A transparent bitmap of w x h logical pixels, for drawing into through SkCanvas.
  bool allocN32Pixels(int w, int h);

  int width() const;
  int height() const;
  bool empty() const { return qimage.isNull(); }
  bool isNull() const { return qimage.isNull(); }
  void eraseColor(SkColor color);
  // ARGB of the pixel at logical (x, y); 0 outside.
  SkColor getColor(int x, int y) const;

  const QImage& image() const { return qimage; }
  QImage& image() { return qimage; }

 private:
  QImage qimage;
};

class SkCanvas {
 public:
  // Paints through a painter that the caller keeps alive while the canvas is used.
  explicit SkCanvas(QPainter* painter);
  // Paints into a bitmap (its own painter, ended when the canvas goes).
  explicit SkCanvas(SkBitmap* bitmap);
  ~SkCanvas();
  SkCanvas(const SkCanvas&) = delete;
  SkCanvas& operator=(const SkCanvas&) = delete;

  // The whole bitmap at its natural size, top-left at (x, y).
  void drawBitmap(const SkBitmap& bitmap, SkScalar x, SkScalar y, const SkPaint* paint = nullptr);
  // src (bitmap pixels; null = the whole bitmap) scaled into dst.
  void drawBitmapRect(const SkBitmap& bitmap, const SkIRect* src, const SkRect& dst,
                      const SkPaint* paint = nullptr);
  void drawBitmapRectToRect(const SkBitmap& bitmap, const SkRect* src, const SkRect& dst,
                            const SkPaint* paint = nullptr);
  // Nine-patch: the four corners outside center keep their size, the edges stretch along one
  // axis, the center stretches both ways. Corners shrink proportionally when dst is too small.
  void drawBitmapNine(const SkBitmap& bitmap, const SkIRect& center, const SkRect& dst,
                      const SkPaint* paint = nullptr);
  void drawRect(const SkRect& rect, const SkPaint& paint);
  void drawColor(SkColor color);
  // One line of text, left-aligned, baseline at y, in the painter's current font.
  void drawText(const std::wstring& text, SkScalar x, SkScalar y, const SkPaint& paint);

  void save();
  void restore();
  void translate(SkScalar dx, SkScalar dy);
  void clipRect(const SkRect& rect);

  QPainter* painter() const { return qpainter; }

 private:
  QPainter* qpainter = nullptr;
  bool ownsPainter = false;
};
