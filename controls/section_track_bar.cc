#include "controls/section_track_bar.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "ui/skin_manager.h"

namespace tavio_ui {
namespace {

constexpr wchar_t kClassName[] = L"SectionTrackBar";

const wchar_t* const kBitmapNames[] = {
    L"TrackBarThumbNormal", L"TrackBarThumbHover", L"TrackBarThumbDown", L"TrackBarThumbDisable",
    L"TrackBarFront",       L"TrackBarBackground", L"TrackBarArrow",     L"TrackBarArrow",
};

TrackRect ToTrackRect(const RECT& r) { return TrackRect{r.left, r.top, r.right, r.bottom}; }
CRect ToCRect(const TrackRect& r) { return CRect(r.left, r.top, r.right, r.bottom); }

bool HasPixels(const std::shared_ptr<SkBitmap>& bitmap) { return bitmap && !bitmap->empty(); }

// The old callback is destroyed before the new one is stored, so what it holds goes first.
void ReplaceHandler(SectionTrackBar::Handler& slot, SectionTrackBar::Handler handler) {
  slot = nullptr;
  slot = std::move(handler);
}

}  // namespace

SectionTrackBarStyle SectionTrackBarStyle::Read(const SkinItem& item) {
  SectionTrackBarStyle style;
  for (int i = 0; i < kBitmapCount; ++i) {
    style.bitmaps[i] = item.ReadBitmapAttribute(kBitmapNames[i]);
  }
  // A skin without the arrow gives markers of no size: not drawn and not grabbable, while the
  // section itself still shows.
  const auto& arrow = style.bitmaps[kStartArrow];
  style.markerWidth = HasPixels(arrow) ? arrow->width() : 0;
  style.markerHeight = HasPixels(arrow) ? arrow->height() : 0;
  if (const SIZE* thumb = item.ReadSizeAttribute(L"TrackBarThumbSize")) style.thumbSize = *thumb;
  const SkinDefaults& defaults = SkinManager::CurrentDefaults();
  style.waveSection = defaults.waveSection;
  style.waveRest = defaults.waveRest;
  item.ReadColorAttribute("waveSection", &style.waveSection);
  item.ReadColorAttribute("waveRest", &style.waveRest);
  return style;
}

SectionTrackBar::SectionTrackBar() {
  SetHintType(3);
  barStyle.waveSection = SkinManager::CurrentDefaults().waveSection;
  barStyle.waveRest = SkinManager::CurrentDefaults().waveRest;
}

SectionTrackBar::~SectionTrackBar() { *alive = false; }

void SectionTrackBar::SetPos(const RECT* rect) {
  Control::SetPos(rect);
  UpdateLayout();
}

const wchar_t* SectionTrackBar::GetClass() const { return kClassName; }

bool SectionTrackBar::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, kClassName, name, out) || Control::AsClass(name, out);
}

bool SectionTrackBar::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                     LRESULT& result) {
  if (message == WM_SETCURSOR) {
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    result = 1;
    return true;
  }
  return Control::ProcessMessage(message, wParam, lParam, result);
}

void SectionTrackBar::SetRange(int newMinimum, int newMaximum) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  if (newMinimum == minimum && newMaximum == maximum) return;
  minimum = newMinimum;
  maximum = newMaximum;
  if (value < minimum) value = minimum;
  if (value > maximum) value = maximum;
  sectionStart = minimum;
  sectionEnd = maximum;
  UpdateLayout();
  NotifyAccessibleValueChanged(this);
}

void SectionTrackBar::SetValue(int v) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  v = ClampToTrackRange(v, minimum, maximum);
  if (v == value) return;
  MoveThumb(v);
}

void SectionTrackBar::MoveThumb(int v) {
  value = v;
  UpdateLayout();
  NotifyAccessibleValueChanged(this);
}

void SectionTrackBar::SetWaveform(TrackWaveform newWaveform) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  if (newWaveform == waveform) return;
  waveform = std::move(newWaveform);
  Invalidate(&trackRect);
}

AccessibleRole SectionTrackBar::GetAccessibleRole() { return AccessibleRole::kSlider; }

bool SectionTrackBar::GetAccessibleValue(AccessibleValue* out) {
  *out = AccessibleValue{};
  out->current = value;
  out->minimum = minimum;
  out->maximum = maximum;
  out->step = 1;
  return true;
}

bool SectionTrackBar::SetAccessibleValue(double v) {
  if (!GetEnabled(true) || maximum <= minimum) return false;
  if (!Raise(thumbPressed)) return true;
  const int target = ClampToTrackRange(static_cast<int>(std::lround(v)), minimum, maximum);
  if (target != value) MoveThumb(target);
  Raise(thumbReleased);
  return true;
}

void SectionTrackBar::SetSectionStart(int v) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  v = ClampToTrackRange(v, minimum, maximum);
  if (v > sectionEnd) {
    sectionStart = sectionEnd;
    sectionEnd = v;
    endMarkerState = PartPressed;
    startMarkerState = PartNormal;
  } else {
    sectionStart = v;
  }
  UpdateLayout();
}

void SectionTrackBar::SetSectionEnd(int v) {
  DCHECK_CALLED_ON_VALID_THREAD(threadChecker);
  v = ClampToTrackRange(v, minimum, maximum);
  if (v < sectionStart) {
    sectionEnd = sectionStart;
    sectionStart = v;
    endMarkerState = PartNormal;
    startMarkerState = PartPressed;
  } else {
    sectionEnd = v;
  }
  UpdateLayout();
}

void SectionTrackBar::SetThumbReleasedHandler(Handler handler) {
  ReplaceHandler(thumbReleased, std::move(handler));
}

void SectionTrackBar::SetThumbPressedHandler(Handler handler) {
  ReplaceHandler(thumbPressed, std::move(handler));
}

void SectionTrackBar::SetSectionMovedHandler(Handler handler) {
  ReplaceHandler(sectionMoved, std::move(handler));
}

void SectionTrackBar::SetStartMarkerReleasedHandler(Handler handler) {
  ReplaceHandler(startMarkerReleased, std::move(handler));
}

void SectionTrackBar::SetEndMarkerReleasedHandler(Handler handler) {
  ReplaceHandler(endMarkerReleased, std::move(handler));
}

bool SectionTrackBar::Raise(const Handler& handler) {
  if (!handler) return true;
  Handler run = handler;
  const std::shared_ptr<bool> stillAlive = alive;
  run(this);
  return *stillAlive;
}

void SectionTrackBar::UpdateLayout() {
  const CRect client = GetClientRect();
  const std::optional<TrackLayout> layout =
      ComputeTrackLayout(ToTrackRect(client), {minimum, maximum, value, sectionStart, sectionEnd},
                         {thumbWidth, thumbHeight, barStyle.markerWidth, barStyle.markerHeight});
  if (!layout) return;

  const CRect oldRects[] = {startMarkerRect, endMarkerRect, sectionRect, trackRect, thumbRect};
  markerOffset = layout->markerOffset;
  trackRect = ToCRect(layout->track);
  thumbRect = ToCRect(layout->thumb);
  startMarkerRect = ToCRect(layout->startMarker);
  endMarkerRect = ToCRect(layout->endMarker);
  sectionRect = ToCRect(layout->section);

  const CRect newRects[] = {startMarkerRect, endMarkerRect, sectionRect, trackRect, thumbRect};
  for (int i = 0; i < 5; ++i) {
    if (oldRects[i] != newRects[i]) {
      Invalidate(nullptr);
      return;
    }
  }
}

void SectionTrackBar::DrawNine(SkCanvas* canvas, const std::shared_ptr<SkBitmap>& bitmap,
                               const CRect& rect) {
  if (!HasPixels(bitmap)) return;
  // Only the middle pixel row and column stretch; the four quarters keep their size.
  const int cx = bitmap->width() / 2;
  const int cy = bitmap->height() / 2;
  SkRect dst;
  dst.set(rect);
  canvas->drawBitmapNine(*bitmap, SkIRect::MakeLTRB(cx, cy, cx + 1, cy + 1), dst);
}

void SectionTrackBar::DrawBackground(SkCanvas* canvas, CRect rect) {
  DrawNine(canvas, barStyle.bitmaps[SectionTrackBarStyle::kBackground], rect);
}

void SectionTrackBar::DrawSection(SkCanvas* canvas, CRect rect) {
  DrawNine(canvas, barStyle.bitmaps[SectionTrackBarStyle::kFront], rect);
}

void SectionTrackBar::DrawWaveform(SkCanvas* canvas) {
  const int columns = trackRect.Width();
  const int reach = trackRect.Height() / 2;
  if (waveform.Stretches() == 0 || columns <= 0 || reach <= 0) return;
  // The groove's centre line: the track bitmaps are drawn centred in the track.
  const int centre = trackRect.top + reach;
  SkPaint inside;
  inside.setColor(barStyle.waveSection);
  SkPaint outside;
  outside.setColor(barStyle.waveRest);
  for (int column = 0; column < columns; ++column) {
    const std::optional<WaveExtent> extent = WaveformExtentAt(waveform, column, columns, reach);
    if (!extent) continue;  // not known yet
    const int x = trackRect.left + column;
    const bool inSection = x >= sectionRect.left && x < sectionRect.right;
    // Silence is a line one pixel high.
    const int bottom = std::max(centre + extent->below, centre - extent->above + 1);
    canvas->drawRect(SkRect::MakeLTRB(static_cast<SkScalar>(x),
                                      static_cast<SkScalar>(centre - extent->above),
                                      static_cast<SkScalar>(x + 1), static_cast<SkScalar>(bottom)),
                     inSection ? inside : outside);
  }
}

void SectionTrackBar::DoPaint(SkCanvas* canvas) {
  const auto& bitmaps = barStyle.bitmaps;
  DrawWaveform(canvas);
  DrawBackground(canvas, trackRect);
  DrawSection(canvas, sectionRect);
  // The thumb states match the first bitmap slots.
  DrawNine(canvas, bitmaps[GetEnabled(false) ? thumbState : SectionTrackBarStyle::kThumbDisable],
           thumbRect);
  for (const auto& [arrow, rect] : {std::pair{SectionTrackBarStyle::kStartArrow, startMarkerRect},
                                    std::pair{SectionTrackBarStyle::kEndArrow, endMarkerRect}}) {
    if (HasPixels(bitmaps[arrow])) {
      canvas->drawBitmap(*bitmaps[arrow], static_cast<SkScalar>(rect.left),
                         static_cast<SkScalar>(rect.top));
    }
  }
}

bool SectionTrackBar::DoMouseMove(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  const int x = GET_X_LPARAM(lParam);
  if (thumbState == PartPressed || startMarkerState == PartPressed ||
      endMarkerState == PartPressed) {
    return DragTo(x);
  }

  const int before[] = {thumbState, startMarkerState, endMarkerState};
  thumbState = startMarkerState = endMarkerState = PartNormal;
  const POINT pt{x, GET_Y_LPARAM(lParam)};
  if (thumbRect.PtInRect(pt)) {
    thumbState = PartHover;
  } else if (startMarkerRect.PtInRect(pt)) {
    startMarkerState = PartHover;
  } else if (endMarkerRect.PtInRect(pt)) {
    endMarkerState = PartHover;
  }
  if (before[0] != thumbState || before[1] != startMarkerState || before[2] != endMarkerState) {
    Invalidate(nullptr);
  }
  return true;
}

bool SectionTrackBar::DoMouseDown(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_RBUTTONDOWN) return true;

  const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  const int before[] = {thumbState, startMarkerState, endMarkerState};
  if (trackRect.PtInRect(pt)) {
    if (!Raise(thumbPressed)) return true;
    thumbState = PartPressed;
  } else if (startMarkerRect.PtInRect(pt)) {
    startMarkerState = PartPressed;
  } else if (endMarkerRect.PtInRect(pt)) {
    endMarkerState = PartPressed;
  }
  if (before[0] != thumbState || before[1] != startMarkerState || before[2] != endMarkerState) {
    Invalidate(nullptr);
  }
  SetMouseCapture(true);
  return DragTo(pt.x);
}

bool SectionTrackBar::DoMouseUp(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_RBUTTONUP) return true;

  SetMouseCapture(false);
  const bool anyActive = thumbState != PartNormal || startMarkerState != PartNormal ||
                         endMarkerState != PartNormal;
  if (thumbState == PartPressed && !Raise(thumbReleased)) return true;
  thumbState = PartNormal;
  if (startMarkerState == PartPressed && !Raise(startMarkerReleased)) return true;
  if (endMarkerState == PartPressed && !Raise(endMarkerReleased)) return true;
  startMarkerState = PartNormal;
  endMarkerState = PartNormal;
  if (anyActive) Invalidate(nullptr);
  return true;
}

void SectionTrackBar::DoMouseLeave() {
  const bool anyActive = thumbState != PartNormal || startMarkerState != PartNormal ||
                         endMarkerState != PartNormal;
  thumbState = startMarkerState = endMarkerState = PartNormal;
  // The base repaints only for its own hover look, which this control does not use.
  if (anyActive) Invalidate(nullptr);
  Control::DoMouseLeave();
}

bool SectionTrackBar::DragTo(int x) {
  // A bar not wider than its thumb has no track to drag along: nothing moves.
  const int right = GetClientRect().right;
  if (thumbState == PartPressed) {
    if (const auto v = TrackValueAt(x, minimum, maximum, thumbWidth, right, thumbWidth)) {
      const int clamped = ClampToTrackRange(*v, minimum, maximum);
      if (clamped != value) MoveThumb(clamped);
    }
  } else if (startMarkerState == PartPressed) {
    if (const auto v = TrackValueAt(x, minimum, maximum, barStyle.markerWidth, right, thumbWidth)) {
      SetSectionStart(*v);
      Raise(sectionMoved);
    }
  } else if (endMarkerState == PartPressed) {
    if (const auto v = TrackValueAt(x, minimum, maximum, barStyle.markerWidth, right, thumbWidth)) {
      SetSectionEnd(*v);
      Raise(sectionMoved);
    }
  }
  return true;
}

void SectionTrackBar::DoSkinChanged(bool changed, SkinItem* item) {
  // Without an entry the held look stays; a skin without a thumb size keeps the last one.
  if (changed && item) {
    barStyle = SectionTrackBarStyle::Read(*item);
    if (barStyle.thumbSize) {
      thumbWidth = barStyle.thumbSize->cx;
      thumbHeight = barStyle.thumbSize->cy;
    }
  }
  Control::DoSkinChanged(changed, item);
  UpdateLayout();
}

}  // namespace tavio_ui
