// Plain rectangle, point and size records for the skinned UI library, shaped like the Win32 ones
// the program's windows and custom controls were written against (RECT, POINT, SIZE, PtInRect),
// plus the library's own CRect, CSize and Insets. Value types: any thread.
#pragma once

#include <algorithm>

// The Win32 records live in the global namespace, as the program's code names them unqualified.
struct RECT {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct POINT {
  int x = 0;
  int y = 0;
};

struct SIZE {
  int cx = 0;
  int cy = 0;
};

// True when pt lies inside rect: left and top edges included, right and bottom excluded.
inline bool PtInRect(const RECT* rect, POINT pt) {
  return rect && pt.x >= rect->left && pt.x < rect->right && pt.y >= rect->top &&
         pt.y < rect->bottom;
}

inline bool IsRectEmpty(const RECT* rect) {
  return !rect || rect->right <= rect->left || rect->bottom <= rect->top;
}

inline void SetRect(RECT* rect, int left, int top, int right, int bottom) {
  if (rect) *rect = RECT{left, top, right, bottom};
}

inline void SetRectEmpty(RECT* rect) {
  if (rect) *rect = RECT{};
}

inline void OffsetRect(RECT* rect, int dx, int dy) {
  if (!rect) return;
  rect->left += dx;
  rect->right += dx;
  rect->top += dy;
  rect->bottom += dy;
}

namespace tavio_ui {

class CRect : public RECT {
 public:
  CRect() = default;
  CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
  CRect(const RECT& r) : RECT(r) {}  // NOLINT: implicit like the Win32 helper class

  static CRect FromXYWH(int x, int y, int w, int h) { return CRect(x, y, x + w, y + h); }

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsRectEmpty() const { return right <= left || bottom <= top; }
  bool IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  bool PtInRect(POINT pt) const { return ::PtInRect(this, pt); }
  POINT TopLeft() const { return POINT{left, top}; }

  void SetRect(int l, int t, int r, int b) { *this = CRect(l, t, r, b); }
  void SetRectEmpty() { *this = CRect(); }
  void OffsetRect(int dx, int dy) { ::OffsetRect(this, dx, dy); }
  void DeflateRect(int l, int t, int r, int b) {
    left += l;
    top += t;
    right -= r;
    bottom -= b;
  }
  // Intersection of two rectangles; empty (all zero) when they do not overlap.
  CRect Intersect(const RECT& other) const {
    CRect r(std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
            std::min(bottom, other.bottom));
    return r.IsRectEmpty() ? CRect() : r;
  }

  bool operator==(const CRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  bool operator!=(const CRect& o) const { return !(*this == o); }
};

class CSize : public SIZE {
 public:
  CSize() = default;
  CSize(int w, int h) : SIZE{w, h} {}
  CSize(const SIZE& s) : SIZE(s) {}  // NOLINT: implicit like the Win32 helper class
  bool operator==(const CSize& o) const { return cx == o.cx && cy == o.cy; }
  bool operator!=(const CSize& o) const { return !(*this == o); }
};

// Inner margins of a box, in the order of a RECT: left, top, right, bottom.
class Insets {
 public:
  Insets() = default;
  Insets(int left, int top, int right, int bottom)
      : leftWidth(left), topWidth(top), rightWidth(right), bottomWidth(bottom) {}

  void Set(int left, int top, int right, int bottom) {
    leftWidth = left;
    topWidth = top;
    rightWidth = right;
    bottomWidth = bottom;
  }
  int left() const { return leftWidth; }
  int top() const { return topWidth; }
  int right() const { return rightWidth; }
  int bottom() const { return bottomWidth; }
  int width() const { return leftWidth + rightWidth; }
  int height() const { return topWidth + bottomWidth; }
  bool empty() const { return leftWidth == 0 && topWidth == 0 && rightWidth == 0 && bottomWidth == 0; }

  bool operator==(const Insets& o) const {
    return leftWidth == o.leftWidth && topWidth == o.topWidth && rightWidth == o.rightWidth && bottomWidth == o.bottomWidth;
  }
  bool operator!=(const Insets& o) const { return !(*this == o); }

 private:
  int leftWidth = 0;
  int topWidth = 0;
  int rightWidth = 0;
  int bottomWidth = 0;
};

}  // namespace tavio_ui
