#include "ui/skin_manager.h"

#include <array>
#include <type_traits>
#include <variant>

#include <QFile>
#include <QApplication>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QSvgRenderer>
#include <QWidget>

#include "ui/registries.h"
#include "ui/skin_file.h"
#include "ui/ui_thread_checker.h"

namespace tavio_ui {

namespace {

SkinManager* g_current = nullptr;

qreal ScreenDpr() {
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
             ? qGuiApp->devicePixelRatio()
             : 1.0;
}

bool ParseColor(const QJsonValue& v, SkColor* out) {
  const QString s = v.toString();
  if (!s.startsWith('#')) return false;
  bool ok = false;
  const uint value = s.mid(1).toUInt(&ok, 16);
  if (!ok) return false;
  if (s.size() == 7) {
    *out = 0xFF000000u | value;
  } else if (s.size() == 9) {
    *out = value;
  } else {
    return false;
  }
  return true;
}

// No window, control or image of a skin is larger than a screen side. Anything beyond is a
// damaged or hostile file: its figures would overflow the controls' pixel arithmetic, and an
// image that size would be rendered into gigabytes of memory.
constexpr int kMaxSkinExtent = 4096;

enum class Extent { kAny, kSize };

// A list of `count` whole figures, each within the limit above; with kSize the last two are a
// width and a height and may not be negative. Null when the value is anything else.
std::optional<std::array<int, 4>> ReadFigures(const QJsonValue& v, int count, Extent extent) {
  const QJsonArray a = v.toArray();
  if (count > 4 || a.size() != count) return std::nullopt;
  std::array<int, 4> out{};
  for (int i = 0; i < count; ++i) {
    if (!a[i].isDouble()) return std::nullopt;
    out[i] = a[i].toInt();
    if (out[i] < -kMaxSkinExtent || out[i] > kMaxSkinExtent) return std::nullopt;
  }
  if (extent == Extent::kSize && (out[count - 2] < 0 || out[count - 1] < 0)) return std::nullopt;
  return out;
}

Insets ToInsets(const std::array<int, 4>& v) { return Insets(v[0], v[1], v[2], v[3]); }

SkinFont ParseFont(const QJsonObject& o, SkinFont base) {
  if (o.contains("family")) base.family = o.value("family").toString().toStdWString();
  if (o.contains("size")) base.pixelSize = o.value("size").toInt(base.pixelSize);
  if (o.contains("bold")) base.bold = o.value("bold").toBool();
  return base;
}

// The defaults a skin file may set, by key. The font is read apart: it is an object.
using DefaultField = std::variant<SkColor SkinDefaults::*, Insets SkinDefaults::*,
                                  int SkinDefaults::*>;
const std::pair<const char*, DefaultField> kDefaultFields[] = {
    {"textColor", &SkinDefaults::textColor},
    {"backColor", &SkinDefaults::backColor},
    {"editSelection", &SkinDefaults::editSelection},
    {"editPadding", &SkinDefaults::editPadding},
    {"popupBack", &SkinDefaults::popupBack},
    {"popupSelected", &SkinDefaults::popupSelected},
    {"popupBorder", &SkinDefaults::popupBorder},
    {"popupMinRowHeight", &SkinDefaults::popupMinRowHeight},
    {"popupMaxRows", &SkinDefaults::popupMaxRows},
    {"comboPadding", &SkinDefaults::comboPadding},
    {"comboChevronWidth", &SkinDefaults::comboChevronWidth},
    {"checkBoxTextGap", &SkinDefaults::checkBoxTextGap},
    {"waveSection", &SkinDefaults::waveSection},
    {"waveRest", &SkinDefaults::waveRest},
};

// Reads one default into its field; false when the value does not fit the field's kind.
bool ReadDefault(const QJsonValue& v, const DefaultField& field, SkinDefaults* defaults) {
  if (auto color = std::get_if<SkColor SkinDefaults::*>(&field)) {
    return ParseColor(v, &(defaults->**color));
  }
  if (auto insets = std::get_if<Insets SkinDefaults::*>(&field)) {
    const auto figures = ReadFigures(v, 4, Extent::kAny);
    if (figures) defaults->**insets = ToInsets(*figures);
    return figures.has_value();
  }
  const auto figure = ReadFigures(QJsonArray{v}, 1, Extent::kAny);
  if (!figure || (*figure)[0] < 0) return false;
  defaults->*std::get<int SkinDefaults::*>(field) = (*figure)[0];
  return true;
}

}  // namespace

// The images of one skin file, decoded once however many entries name them.
class SkinImageCache {
 public:
  explicit SkinImageCache(const std::map<std::string, QByteArray>& resources)
      : resources(resources) {}

  // The image of that resource name; null with *error set when it is missing, unreadable or
  // too large to draw.
  std::shared_ptr<SkinImage> Get(const QJsonValue& ref, std::string* error) {
    const std::string name = ref.toString().toStdString();
    if (auto it = images.find(name); it != images.end()) return it->second;
    auto res = resources.find(name);
    if (res == resources.end()) {
      *error = "missing image " + name;
      return nullptr;
    }
    const bool svg = QString::fromStdString(name).endsWith(".svg", Qt::CaseInsensitive);
    auto image = std::make_shared<SkinImage>(res->second, svg);
    if (!image->valid()) {
      *error = "unreadable image " + name;
      return nullptr;
    }
    if (image->size().cx > kMaxSkinExtent || image->size().cy > kMaxSkinExtent) {
      *error = "image too large " + name;
      return nullptr;
    }
    images[name] = image;
    return image;
  }

  // Every image of a {name: resource} object into *out under its name.
  template <typename Key>
  bool GetAll(const QJsonObject& refs, std::map<Key, std::shared_ptr<SkinImage>>* out,
              std::string* error) {
    for (auto it = refs.begin(); it != refs.end(); ++it) {
      std::shared_ptr<SkinImage> image = Get(it.value(), error);
      if (!image) return false;
      (*out)[KeyOf<Key>(it.key())] = std::move(image);
    }
    return true;
  }

 private:
  template <typename Key>
  static Key KeyOf(const QString& key) {
    if constexpr (std::is_same_v<Key, std::wstring>) {
      return key.toStdWString();
    } else {
      return key.toStdString();
    }
  }

  // The file's resources, borrowed for the parse.
  const std::map<std::string, QByteArray>& resources;
  std::map<std::string, std::shared_ptr<SkinImage>> images;
};

namespace {

// Every size of a {name: [width, height]} object into *out; `where` ends the error message.
bool ReadSizes(const QJsonObject& sizes, const std::string& where,
               std::map<std::wstring, SIZE>* out, std::string* error) {
  for (auto it = sizes.begin(); it != sizes.end(); ++it) {
    const auto v = ReadFigures(it.value(), 2, Extent::kAny);
    if (!v) {
      *error = "bad size attribute " + it.key().toStdString() + where;
      return false;
    }
    (*out)[it.key().toStdWString()] = SIZE{(*v)[0], (*v)[1]};
  }
  return true;
}

}  // namespace

SkinImage::SkinImage(QByteArray data, bool svg) : data(std::move(data)), svg(svg) {
  if (this->svg) {
    renderer = std::make_unique<QSvgRenderer>(this->data);
  } else {
    raster.loadFromData(this->data);
    if (!raster.isNull() && raster.format() != QImage::Format_ARGB32_Premultiplied) {
      raster = raster.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
  }
}

SkinImage::~SkinImage() = default;

bool SkinImage::valid() const {
  return svg ? renderer && renderer->isValid() && !renderer->defaultSize().isEmpty()
              : !raster.isNull();
}

CSize SkinImage::size() const {
  if (!valid()) return CSize();
  const QSize s = svg ? renderer->defaultSize() : raster.size();
  return CSize(s.width(), s.height());
}

void SkinImage::Draw(QPainter& painter, const QRectF& target, const Insets& ninePatch) const {
  if (!valid() || target.isEmpty()) return;
  if (ninePatch.empty() && svg) {
    renderer->render(&painter, target);
    return;
  }
  std::shared_ptr<SkBitmap> bitmap = Bitmap();
  SkCanvas canvas(&painter);
  const SkRect dst = SkRect::MakeXYWH(SkScalar(target.x()), SkScalar(target.y()),
                                      SkScalar(target.width()), SkScalar(target.height()));
  if (ninePatch.empty()) {
    canvas.drawBitmapRectToRect(*bitmap, nullptr, dst);
  } else {
    const SkIRect center = SkIRect::MakeLTRB(ninePatch.left(), ninePatch.top(),
                                             bitmap->width() - ninePatch.right(),
                                             bitmap->height() - ninePatch.bottom());
    canvas.drawBitmapNine(*bitmap, center, dst);
  }
}

std::shared_ptr<SkBitmap> SkinImage::Bitmap() const {
  if (bitmap) return bitmap;
  if (!valid()) {
    bitmap = std::make_shared<SkBitmap>();
    return bitmap;
  }
  if (!svg) {
    bitmap = std::make_shared<SkBitmap>(raster);
    return bitmap;
  }
  const qreal dpr = ScreenDpr();
  const QSize logical = renderer->defaultSize();
  QImage image((QSizeF(logical) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer->render(&painter, QRectF(0, 0, image.width(), image.height()));
  }
  image.setDevicePixelRatio(dpr);
  bitmap = std::make_shared<SkBitmap>(std::move(image));
  return bitmap;
}

SkinItem::SkinItem(std::wstring name, SkinManager* manager)
    : itemName(std::move(name)), skinManager(manager) {}

SkinItem::~SkinItem() = default;

CSize SkinItem::GetSize() const {
  if (size) return *size;
  if (rect) return CSize(rect->Width(), rect->Height());
  return CSize();
}

const SkinImage* SkinItem::GetImage(const std::string& state) const {
  return GetSharedImage(state).get();
}

std::shared_ptr<const SkinImage> SkinItem::GetSharedImage(const std::string& state) const {
  auto it = images.find(state);
  return it == images.end() ? nullptr : it->second;
}

const SkinImage* SkinItem::GetStateImage(const std::string& state) const {
  return GetSharedStateImage(state).get();
}

std::shared_ptr<const SkinImage> SkinItem::GetSharedStateImage(const std::string& state) const {
  auto find = [this](const std::string& look) { return GetSharedImage(look); };
  if (auto image = find(state)) return image;
  // Checked looks fall back to the plain checked look, everything else to "normal".
  if (state.rfind("checked", 0) == 0 && state != "checked") {
    if (auto image = find("checked")) return image;
  }
  if (state == "pressed") {
    if (auto image = find("hover")) return image;
  }
  return find("normal");
}

SkinFont SkinItem::GetFont() const {
  if (font) return *font;
  return skinManager ? skinManager->GetDefaultFont() : SkinFont();
}

bool SkinItem::ReadColorAttribute(const std::string& name, SkColor* out) const {
  auto it = colors.find(name);
  if (it == colors.end()) return false;
  if (out) *out = it->second;
  return true;
}

std::shared_ptr<SkBitmap> SkinItem::ReadBitmapAttribute(const std::wstring& name) const {
  auto it = bitmaps.find(name);
  std::shared_ptr<SkinImage> image =
      it != bitmaps.end() ? it->second : (skinManager ? skinManager->GetSharedBitmap(name) : nullptr);
  if (!image || !image->valid()) return nullptr;
  return image->Bitmap();
}

const SIZE* SkinItem::ReadSizeAttribute(const std::wstring& name) const {
  auto it = sizes.find(name);
  if (it != sizes.end()) return &it->second;
  return skinManager ? skinManager->GetSharedSize(name) : nullptr;
}

SkinManager::SkinManager() = default;

SkinManager::~SkinManager() {
  // Unregistered first, so that the controls it leaves fall back to the library's defaults.
  if (g_current == this) g_current = nullptr;
  ForgetSkinItemsOf(this);
}

bool SkinManager::Load(const wchar_t* path, bool reserved) {
  DCHECK_CALLED_ON_VALID_THREAD(UiThreadChecker());
  if (!path || !*path) {
    lastError = "no skin path";
    return false;
  }
  QFile file(QString::fromWCharArray(path));
  if (!file.open(QIODevice::ReadOnly)) {
    lastError = "cannot open " + file.fileName().toStdString();
    return false;
  }
  // A skin is a few hundred kilobytes; refuse anything absurd rather than read it all.
  constexpr qint64 kMaxSkinBytes = 64 * 1024 * 1024;
  if (file.size() > kMaxSkinBytes) {
    lastError = "skin file too large";
    return false;
  }
  return LoadFromData(file.readAll());
}

bool SkinManager::LoadFromData(const QByteArray& data) {
  DCHECK_CALLED_ON_VALID_THREAD(UiThreadChecker());
  std::string error;
  SkinManager fresh;
  if (!fresh.Parse(data, &error)) {
    lastError = error;
    return false;
  }
  // Keep the old skin until the new one parsed whole.
  ForgetSkinItemsOf(this);
  items = std::move(fresh.items);
  for (auto& [name, item] : items) item->skinManager = this;
  sharedBitmaps = std::move(fresh.sharedBitmaps);
  sharedSizes = std::move(fresh.sharedSizes);
  defaults = fresh.defaults;
  isLoaded = true;
  lastError.clear();
  if (g_current == this) ReapplySkinToLiveControls();
  return true;
}

bool SkinManager::Parse(const QByteArray& data, std::string* error) {
  skin_file::Contents contents;
  if (!skin_file::Read(data, &contents, error)) return false;
  QJsonParseError jsonError;
  const QJsonDocument doc = QJsonDocument::fromJson(contents.index, &jsonError);
  if (doc.isNull() || !doc.isObject()) {
    *error = "skin index is not a JSON object: " + jsonError.errorString().toStdString();
    return false;
  }
  const QJsonObject root = doc.object();
  SkinImageCache images(contents.resources);
  if (!ParseDefaults(root.value("defaults").toObject(), error)) return false;
  if (!ParseAttributes(root.value("attributes").toObject(), images, error)) return false;
  const QJsonObject entries = root.value("entries").toObject();
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (!ParseEntry(it.key(), it.value().toObject(), images, error)) return false;
  }
  return true;
}

bool SkinManager::ParseDefaults(const QJsonObject& o, std::string* error) {
  defaults.font = ParseFont(o.value("font").toObject(), SkinFont());
  for (const auto& [key, field] : kDefaultFields) {
    if (o.contains(key) && !ReadDefault(o.value(key), field, &defaults)) {
      *error = std::string("bad default ") + key;
      return false;
    }
  }
  return true;
}

bool SkinManager::ParseAttributes(const QJsonObject& o, SkinImageCache& images,
                                  std::string* error) {
  return images.GetAll(o.value("bitmaps").toObject(), &sharedBitmaps, error) &&
         ReadSizes(o.value("sizes").toObject(), "", &sharedSizes, error);
}

bool SkinManager::ParseEntry(const QString& name, const QJsonObject& e, SkinImageCache& images,
                             std::string* error) {
  const std::string owner = name.toStdString();
  auto item = std::make_unique<SkinItem>(name.toStdWString(), this);
  // An optional list of figures: absent is fine, present it must be well formed.
  auto figures = [&](const char* key, int count, Extent extent, auto apply) {
    if (!e.contains(key)) return true;
    const auto v = ReadFigures(e.value(key), count, extent);
    if (!v) {
      *error = std::string("bad ") + key + " of " + owner;
      return false;
    }
    apply(*v);
    return true;
  };
  const bool placed =
      figures("rect", 4, Extent::kSize,
              [&](const auto& v) { item->rect = CRect::FromXYWH(v[0], v[1], v[2], v[3]); }) &&
      figures("size", 2, Extent::kSize,
              [&](const auto& v) { item->size = CSize(v[0], v[1]); }) &&
      figures("ninePatch", 4, Extent::kAny,
              [&](const auto& v) { item->ninePatch = ToInsets(v); }) &&
      figures("padding", 4, Extent::kAny, [&](const auto& v) { item->padding = ToInsets(v); });
  if (!placed) return false;
  if (e.contains("align")) item->align = e.value("align").toString().toStdString();
  if (e.contains("accessibleName")) {
    item->accessibleName = e.value("accessibleName").toString().toStdWString();
  }
  if (e.contains("font")) item->font = ParseFont(e.value("font").toObject(), defaults.font);
  const QJsonObject colors = e.value("colors").toObject();
  for (auto c = colors.begin(); c != colors.end(); ++c) {
    SkColor color = 0;
    if (!ParseColor(c.value(), &color)) {
      *error = "bad colour " + c.key().toStdString() + " of " + owner;
      return false;
    }
    item->colors[c.key().toStdString()] = color;
  }
  if (!images.GetAll(e.value("images").toObject(), &item->images, error) ||
      !images.GetAll(e.value("bitmaps").toObject(), &item->bitmaps, error) ||
      !ReadSizes(e.value("sizes").toObject(), " of " + owner, &item->sizes, error)) {
    return false;
  }
  items[item->name()] = std::move(item);
  return true;
}

void SkinManager::SetAlpha(unsigned char alpha, bool redraw) { this->alpha = alpha; }
void SkinManager::SetSkinAlpha(unsigned char alpha, bool redraw) { skinAlpha = alpha; }
void SkinManager::SetLayered(bool layered, bool redraw) { this->layered = layered; }

void SkinManager::SetBackColor(unsigned int argb, bool redraw) {
  backColor = argb;
  if (redraw) {
    for (QWidget* w : QApplication::topLevelWidgets()) w->update();
  }
}

SkinItem* SkinManager::GetItem(const std::wstring& name) const {
  auto it = items.find(name);
  return it == items.end() ? nullptr : it->second.get();
}

std::shared_ptr<SkinImage> SkinManager::GetSharedBitmap(const std::wstring& name) const {
  auto it = sharedBitmaps.find(name);
  return it == sharedBitmaps.end() ? nullptr : it->second;
}

const SIZE* SkinManager::GetSharedSize(const std::wstring& name) const {
  auto it = sharedSizes.find(name);
  return it == sharedSizes.end() ? nullptr : &it->second;
}

SkinManager* SkinManager::Current() { return g_current; }

const SkinDefaults& SkinManager::CurrentDefaults() {
  static const SkinDefaults kBuiltIn;
  return g_current ? g_current->defaults : kBuiltIn;
}

void RegisterSkinManager(SkinManager* manager) {
  g_current = manager;
  if (manager && manager->loaded()) ReapplySkinToLiveControls();
}

void UnRegisterSkinManager() { g_current = nullptr; }

}  // namespace tavio_ui
