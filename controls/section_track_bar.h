// SectionTrackBar: the slider of the ring editor's second step. One bar shows the play position
// as a thumb the user drags or clicks to, and a marked section between a start and an end marker,
// each draggable, with the stretch between them highlighted; behind its groove it draws the
// song's waveform, as much of it as the owner has handed over, the part inside the section in
// the section's colour. The owner sets the range and moves the parts with the setters (which
// raise nothing); the user's drags come back through five callbacks, called on the main thread
// from inside the mouse handlers with the track bar itself. A screen reader sees a slider whose
// value is the thumb's; setting it is a thumb drag. The owning window keeps it as a member.
// Main thread only.

#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "controls/section_track_layout.h"
#include "ui/control.h"

namespace tavio_ui {

// The track bar's look as its skin entry gives it. A bitmap the skin lacks is empty.
struct SectionTrackBarStyle {
  enum BitmapIndex {
    kThumbNormal = 0,
    kThumbHover,
    kThumbDown,
    kThumbDisable,
    kFront,
    kBackground,
    kStartArrow,
    kEndArrow,
    kBitmapCount
  };
  std::array<std::shared_ptr<SkBitmap>, kBitmapCount> bitmaps;
  // The markers are as large as the arrow bitmap: none without one.
  int markerWidth = 0;
  int markerHeight = 0;
  // "TrackBarThumbSize", when the skin gives it.
  std::optional<SIZE> thumbSize;
  // The waveform inside the section ("waveSection") and outside it ("waveRest"): the entry's
  // colours, else the skin's defaults of those names.
  SkColor waveSection = 0;
  SkColor waveRest = 0;

  static SectionTrackBarStyle Read(const SkinItem& item);
};

class SectionTrackBar : public Control {
 public:
  using Handler = std::function<void(Control*)>;

  enum PartState { PartNormal = 0, PartHover = 1, PartPressed = 2 };

  SectionTrackBar();
  ~SectionTrackBar() override;

  void SetPos(const RECT* rect) override;
  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;
  bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void DoPaint(SkCanvas* canvas) override;
  bool DoMouseDown(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  bool DoMouseMove(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  bool DoMouseUp(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void DoMouseLeave() override;
  void DoSkinChanged(bool changed, SkinItem* item) override;
  virtual void DrawBackground(SkCanvas* canvas, CRect rect);
  virtual void DrawSection(SkCanvas* canvas, CRect rect);
  // Recomputes the rectangles from the values, the size and the skin; repaints only when one of
  // them moved. Keeps the previous rectangles while the range is empty.
  virtual void UpdateLayout();

  // New bounds reset the section to the whole range; the same bounds change nothing.
  void SetRange(int minimum, int maximum);
  void SetValue(int v);
  // Moving a marker past the other one swaps their roles, and the pressed state with them, so a
  // drag continues with the other marker and the section never turns inside out.
  void SetSectionStart(int v);
  void SetSectionEnd(int v);
  int GetValue() const { return value; }
  int GetSectionStart() const { return sectionStart; }
  int GetSectionEnd() const { return sectionEnd; }
  int GetMinimum() const { return minimum; }
  int GetMaximum() const { return maximum; }

  // The song's waveform, drawn behind the groove as far as it is known; an empty one draws
  // nothing. Repaints the track only when the waveform changed.
  void SetWaveform(TrackWaveform waveform);
  const TrackWaveform& GetWaveform() const { return waveform; }

  AccessibleRole GetAccessibleRole() override;
  bool GetAccessibleValue(AccessibleValue* value) override;
  // A reader moving the slider drags the thumb: thumb pressed, the new value, thumb released.
  bool SetAccessibleValue(double value) override;

  void SetThumbReleasedHandler(Handler handler);
  void SetThumbPressedHandler(Handler handler);
  void SetSectionMovedHandler(Handler handler);
  void SetStartMarkerReleasedHandler(Handler handler);
  void SetEndMarkerReleasedHandler(Handler handler);

  // For the window's tests and for screenshots of the states.
  int GetThumbState() const { return thumbState; }
  int GetStartMarkerState() const { return startMarkerState; }
  int GetEndMarkerState() const { return endMarkerState; }
  const CRect& GetTrackRect() const { return trackRect; }
  const CRect& GetThumbRect() const { return thumbRect; }
  const CRect& GetStartMarkerRect() const { return startMarkerRect; }
  const CRect& GetEndMarkerRect() const { return endMarkerRect; }
  const CRect& GetSectionRect() const { return sectionRect; }

 private:
  bool DragTo(int x);
  // Runs a callback from a copy, so a handler that replaces its own slot stays alive while it runs.
  // False when the callback destroyed this control, which must then be left alone.
  bool Raise(const Handler& handler);
  void DrawNine(SkCanvas* canvas, const std::shared_ptr<SkBitmap>& bitmap, const CRect& rect);
  void DrawWaveform(SkCanvas* canvas);
  // Stores a new thumb value and lays out; tells a listening reader.
  void MoveThumb(int v);

  int value = 0;
  int minimum = 0;
  int maximum = 0;
  int sectionStart = 0;
  int sectionEnd = 0;
  int markerOffset = 0;
  int thumbWidth = 0;
  int thumbHeight = 0;

  int thumbState = PartNormal;
  int startMarkerState = PartNormal;
  int endMarkerState = PartNormal;

  CRect startMarkerRect;
  CRect endMarkerRect;
  CRect sectionRect;
  CRect trackRect;
  CRect thumbRect;

  SectionTrackBarStyle barStyle;
  TrackWaveform waveform;

  Handler thumbReleased;
  Handler thumbPressed;
  Handler sectionMoved;
  Handler startMarkerReleased;
  Handler endMarkerReleased;

  std::shared_ptr<bool> alive = std::make_shared<bool>(true);  // false once destroyed
};

}  // namespace tavio_ui
