// The skin: SkinManager loads one compiled skin file (see skin/README.md for the format) and
// answers, by skin name, the SkinItem that places and draws a control: its rectangle, its images
// per state, nine-patch insets, font, colours and named bitmap/size/colour attributes. The run
// operation owns one manager and registers it; controls named afterwards take their look from it.
// Main thread only.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QByteArray>

#include "ui/geometry.h"
#include "ui/sk_canvas.h"

class QJsonObject;
class QPainter;
class QRectF;
class QString;
class QSvgRenderer;

namespace tavio_ui {

class SkinImageCache;

// One image of the skin, SVG or PNG. SVG images draw crisp at any size; bitmaps for custom
// controls are rendered at the image's own size for the screen's pixel density.
class SkinImage {
 public:
  SkinImage(QByteArray data, bool svg);
  ~SkinImage();
  SkinImage(const SkinImage&) = delete;
  SkinImage& operator=(const SkinImage&) = delete;

  bool valid() const;
  // Natural size in logical pixels.
  CSize size() const;
  // Draws into target; with non-empty insets as a nine-patch of the rendered bitmap.
  void Draw(QPainter& painter, const QRectF& target, const Insets& ninePatch) const;
  // The image rendered at its natural size (shared, cached).
  std::shared_ptr<SkBitmap> Bitmap() const;

 private:
  QByteArray data;
  bool svg = false;
  std::unique_ptr<QSvgRenderer> renderer;
  QImage raster;
  mutable std::shared_ptr<SkBitmap> bitmap;
};

struct SkinFont {
  std::wstring family;
  int pixelSize = 12;
  bool bold = false;
};

// The look a control falls back to where its skin entry says nothing (or where it has no entry).
// These are the library's own values; the "defaults" section of a skin file overrides any of
// them by the key named beside it (see skin/README.md).
struct SkinDefaults {
  SkinFont font;                         // "font"
  SkColor textColor = 0xFF000000;        // "textColor"
  SkColor backColor = 0xFFFFFFFF;        // "backColor": forms, until SetBackColor
  SkColor editSelection = 0xFF9CC3E6;    // "editSelection": selected text of edits
  Insets editPadding{4, 2, 4, 2};        // "editPadding": edits whose entry has no padding
  SkColor popupBack = 0xFFFFFFFF;        // "popupBack": combobox lists
  SkColor popupSelected = 0xFFE3F1FC;    // "popupSelected"
  SkColor popupBorder = 0xFF9CC3E6;      // "popupBorder"
  int popupMinRowHeight = 18;            // "popupMinRowHeight"
  int popupMaxRows = 8;                  // "popupMaxRows": longer lists scroll
  Insets comboPadding{6, 0, 6, 0};       // "comboPadding": comboboxes without a skin entry
  int comboChevronWidth = 9;             // "comboChevronWidth": arrow without a "ComboArrow"
  int checkBoxTextGap = 6;               // "checkBoxTextGap": between a check box and its text
  SkColor waveSection = 0xFF7DB9EC;      // "waveSection": a track bar's waveform in its section
  SkColor waveRest = 0xFFC3D3E3;         // "waveRest": the waveform outside the section
};

// The skin entry of one name. Owned by its SkinManager; valid until the manager is destroyed or
// loads another file.
class SkinItem {
 public:
  SkinItem(std::wstring name, class SkinManager* manager);
  ~SkinItem();
  SkinItem(const SkinItem&) = delete;
  SkinItem& operator=(const SkinItem&) = delete;

  const std::wstring& name() const { return itemName; }
  const SkinManager* manager() const { return skinManager; }

  // Position in the parent's coordinates, when the skin places this control.
  bool HasRect() const { return rect.has_value(); }
  CRect GetRect() const { return rect.value_or(CRect()); }
  // Size without a position (windows, buttons placed by their owner); the rectangle's size when
  // only a rectangle is given; empty when neither is.
  CSize GetSize() const;

  // State images. States: "normal", "hover", "pressed", "disabled", and for check boxes
  // "checked", "checkedHover", "checkedPressed", "checkedDisabled"; progress bars use "track"
  // and "fill". A missing hover/pressed/disabled look falls back to "normal" (see GetStateImage).
  const SkinImage* GetImage(const std::string& state) const;
  std::shared_ptr<const SkinImage> GetSharedImage(const std::string& state) const;
  const SkinImage* GetStateImage(const std::string& state) const;
  // The same image, shared, for styles that keep it beyond this entry's life.
  std::shared_ptr<const SkinImage> GetSharedStateImage(const std::string& state) const;
  const Insets& GetNinePatch() const { return ninePatch; }

  SkinFont GetFont() const;
  // Named colours of the entry ("text", "back", "hoverText", "disabledText", "link"...), ARGB.
  bool ReadColorAttribute(const std::string& name, SkColor* out) const;
  // Text alignment: "left" (default), "center" or "right"; vertical always centred.
  const std::string& GetAlign() const { return align; }
  // Inner margins for texts and edits.
  const Insets& GetPadding() const { return padding; }
  // What the control's picture means, for a screen reader ("accessibleName"): the name of a
  // control that shows no text of its own. Empty when the entry gives none.
  const std::wstring& GetAccessibleName() const { return accessibleName; }

  // Named bitmaps and sizes of the entry, falling back to the skin's shared attributes
  // (for example the clock digits "Digital0".."Digital9"). Empty/null when absent.
  std::shared_ptr<SkBitmap> ReadBitmapAttribute(const std::wstring& name) const;
  const SIZE* ReadSizeAttribute(const std::wstring& name) const;

 private:
  friend class SkinManager;
  std::wstring itemName;
  SkinManager* skinManager;
  std::optional<CRect> rect;
  std::optional<CSize> size;
  std::map<std::string, std::shared_ptr<SkinImage>> images;
  Insets ninePatch;
  Insets padding;
  std::string align = "left";
  std::wstring accessibleName;
  std::optional<SkinFont> font;
  std::map<std::string, SkColor> colors;
  std::map<std::wstring, std::shared_ptr<SkinImage>> bitmaps;
  std::map<std::wstring, SIZE> sizes;
};

class SkinManager {
 public:
  SkinManager();
  ~SkinManager();
  SkinManager(const SkinManager&) = delete;
  SkinManager& operator=(const SkinManager&) = delete;

  // Loads a compiled skin file. False (and the previous skin kept) when the file is missing,
  // truncated, corrupt or of another format; error() tells why. The second argument is kept for
  // the callers' shape and has no effect. Live controls take the new look.
  bool Load(const wchar_t* path, bool reserved);
  bool LoadFromData(const QByteArray& data);
  const std::string& error() const { return lastError; }
  bool loaded() const { return isLoaded; }

  // Window look settings. The alpha values only matter for layered (translucent) windows, which
  // this library draws opaque; they are kept for the callers. The back colour fills every form
  // under its controls. The bool asks for an immediate repaint of live windows.
  void SetAlpha(unsigned char alpha, bool redraw);
  void SetSkinAlpha(unsigned char alpha, bool redraw);
  void SetLayered(bool layered, bool redraw);
  void SetBackColor(unsigned int argb, bool redraw);
  unsigned char GetAlpha() const { return alpha; }
  unsigned char GetSkinAlpha() const { return skinAlpha; }
  bool IsLayered() const { return layered; }
  unsigned int GetBackColor() const { return backColor.value_or(defaults.backColor); }

  // The entry of that skin name, or null.
  SkinItem* GetItem(const std::wstring& name) const;
  // Shared attributes (used by SkinItem's fallbacks).
  std::shared_ptr<SkinImage> GetSharedBitmap(const std::wstring& name) const;
  const SIZE* GetSharedSize(const std::wstring& name) const;
  const SkinFont& GetDefaultFont() const { return defaults.font; }
  SkColor GetDefaultTextColor() const { return defaults.textColor; }
  // The skin's defaults over the library's own.
  const SkinDefaults& GetDefaults() const { return defaults; }

  // The registered manager, or null.
  static SkinManager* Current();
  // The registered manager's defaults, or the library's own when none is registered.
  static const SkinDefaults& CurrentDefaults();

 private:
  // One step per section of the index; each reports the first fault in *error.
  bool Parse(const QByteArray& data, std::string* error);
  bool ParseDefaults(const QJsonObject& defaults, std::string* error);
  bool ParseAttributes(const QJsonObject& attributes, SkinImageCache& images,
                       std::string* error);
  bool ParseEntry(const QString& name, const QJsonObject& entry, SkinImageCache& images,
                  std::string* error);

  bool isLoaded = false;
  std::string lastError;
  unsigned char alpha = 255;
  unsigned char skinAlpha = 255;
  bool layered = false;
  // Set by SetBackColor; until then the skin's default.
  std::optional<unsigned int> backColor;
  SkinDefaults defaults;
  std::map<std::wstring, std::unique_ptr<SkinItem>> items;
  std::map<std::wstring, std::shared_ptr<SkinImage>> sharedBitmaps;
  std::map<std::wstring, SIZE> sharedSizes;
};

// Makes manager the skin of every control named from now on (and re-skins live ones).
void RegisterSkinManager(SkinManager* manager);
void UnRegisterSkinManager();

}  // namespace tavio_ui
