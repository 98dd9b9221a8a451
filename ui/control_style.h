// The look of a control as the skin gives it, read into plain values when the control is named
// or the skin changes. Paint code reads only these: it never asks the skin, and it hard-codes no
// colour or size, so a skin file (or its "defaults" section) decides every one of them. The
// styles hold the skin's images by shared pointer, so a control keeps painting what it read even
// while its manager loads another file. Main thread only.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "ui/geometry.h"
#include "ui/sk_canvas.h"

namespace tavio_ui {

class SkinImage;
class SkinItem;

enum class TextAlign { kLeft, kCenter, kRight };
// The horizontal Qt::Alignment flag of an alignment.
int QtAlignment(TextAlign align);

// The state images of an entry, each already resolved through the skin's fallbacks (a missing
// hover look is the normal one, and so on; see SkinItem::GetStateImage).
class StateLooks {
 public:
  // "normal", "hover", "pressed", "disabled", the four "checked..." looks and "track".
  static constexpr int kCount = 9;

  void Read(const SkinItem* item);
  // Null when the skin has no image for the state, nor one to fall back to.
  const SkinImage* Get(const std::string& state) const;

 private:
  std::array<std::shared_ptr<const SkinImage>, kCount> images;
};

// What every control paints from: back colour, state images, text colours and placement.
struct ControlStyle {
  // Fill under the control unless it is transparent; none when the entry has no "back".
  std::optional<SkColor> back;
  StateLooks looks;
  Insets ninePatch;
  Insets padding;
  // The entry's alignment; none without an entry (each control has its own default then).
  std::optional<TextAlign> align;
  // Text colours of the entry, and the skin's default under them.
  std::optional<SkColor> text;
  std::optional<SkColor> hoverText;
  std::optional<SkColor> disabledText;
  SkColor defaultText = 0;
  // The entry's "accessibleName": what a control without text of its own shows, in words.
  std::wstring accessibleName;

  // The style of an entry (null: the control has none) over the registered skin's defaults.
  static ControlStyle Read(const SkinItem* item);
};

}  // namespace tavio_ui
