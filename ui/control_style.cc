#include "ui/control_style.h"

#include <Qt>

#include "ui/skin_manager.h"

namespace tavio_ui {

namespace {

const char* const kLookNames[StateLooks::kCount] = {
    "normal",       "hover",          "pressed",         "disabled", "checked",
    "checkedHover", "checkedPressed", "checkedDisabled", "track",
};

std::optional<SkColor> ColorOf(const SkinItem* item, const char* name) {
  SkColor color = 0;
  if (item && item->ReadColorAttribute(name, &color)) return color;
  return std::nullopt;
}

std::optional<TextAlign> AlignOf(const SkinItem* item) {
  if (!item) return std::nullopt;
  const std::string& align = item->GetAlign();
  if (align == "left") return TextAlign::kLeft;
  if (align == "center") return TextAlign::kCenter;
  if (align == "right") return TextAlign::kRight;
  return std::nullopt;
}

}  // namespace

int QtAlignment(TextAlign align) {
  switch (align) {
    case TextAlign::kCenter:
      return Qt::AlignHCenter;
    case TextAlign::kRight:
      return Qt::AlignRight;
    case TextAlign::kLeft:
      break;
  }
  return Qt::AlignLeft;
}

void StateLooks::Read(const SkinItem* item) {
  for (int i = 0; i < kCount; ++i) {
    images[i] = item ? item->GetSharedStateImage(kLookNames[i]) : nullptr;
  }
}

const SkinImage* StateLooks::Get(const std::string& state) const {
  for (int i = 0; i < kCount; ++i) {
    if (state == kLookNames[i]) return images[i].get();
  }
  return nullptr;
}

ControlStyle ControlStyle::Read(const SkinItem* item) {
  ControlStyle style;
  style.back = ColorOf(item, "back");
  style.looks.Read(item);
  if (item) {
    style.ninePatch = item->GetNinePatch();
    style.padding = item->GetPadding();
    style.accessibleName = item->GetAccessibleName();
  }
  style.align = AlignOf(item);
  style.text = ColorOf(item, "text");
  style.hoverText = ColorOf(item, "hoverText");
  style.disabledText = ColorOf(item, "disabledText");
  style.defaultText = SkinManager::CurrentDefaults().textColor;
  return style;
}

}  // namespace tavio_ui
