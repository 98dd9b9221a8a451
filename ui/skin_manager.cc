#include "ui/skin_manager.h"

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

bool ParseInts(const QJsonValue& v, int count, int* out) {
  const QJsonArray a = v.toArray();
  if (a.size() != count) return false;
  for (int i = 0; i < count; ++i) {
    if (!a[i].isDouble()) return false;
    out[i] = a[i].toInt();
    if (out[i] < -kMaxSkinExtent || out[i] > kMaxSkinExtent) return false;
  }
  return true;
}

SkinFont ParseFont(const QJsonObject& o, SkinFont base) {
  if (o.contains("family")) base.family = o.value("family").toString().toStdWString();
  if (o.contains("size")) base.pixelSize = o.value("size").toInt(base.pixelSize);
  if (o.contains("bold")) base.bold = o.value("bold").toBool();
  return base;
}

}  // namespace

SkinImage::SkinImage(QByteArray data, bool svg) : data_(std::move(data)), svg_(svg) {
  if (svg_) {
    renderer_ = std::make_unique<QSvgRenderer>(data_);
  } else {
    raster_.loadFromData(data_);
    if (!raster_.isNull() && raster_.format() != QImage::Format_ARGB32_Premultiplied) {
      raster_ = raster_.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
  }
}

SkinImage::~SkinImage() = default;

bool SkinImage::valid() const {
  return svg_ ? renderer_ && renderer_->isValid() && !renderer_->defaultSize().isEmpty()
              : !raster_.isNull();
}

CSize SkinImage::size() const {
  if (!valid()) return CSize();
  const QSize s = svg_ ? renderer_->defaultSize() : raster_.size();
  return CSize(s.width(), s.height());
}

void SkinImage::Draw(QPainter& painter, const QRectF& target, const Insets& ninePatch) const {
  if (!valid() || target.isEmpty()) return;
  if (ninePatch.empty() && svg_) {
    renderer_->render(&painter, target);
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
  if (bitmap_) return bitmap_;
  if (!valid()) {
    bitmap_ = std::make_shared<SkBitmap>();
    return bitmap_;
  }
  if (!svg_) {
    bitmap_ = std::make_shared<SkBitmap>(raster_);
    return bitmap_;
  }
  const qreal dpr = ScreenDpr();
  const QSize logical = renderer_->defaultSize();
  QImage image((QSizeF(logical) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer_->render(&painter, QRectF(0, 0, image.width(), image.height()));
  }
  image.setDevicePixelRatio(dpr);
  bitmap_ = std::make_shared<SkBitmap>(std::move(image));
  return bitmap_;
}

SkinItem::SkinItem(std::wstring name, SkinManager* manager)
    : name_(std::move(name)), manager_(manager) {}

SkinItem::~SkinItem() = default;

CSize SkinItem::GetSize() const {
  if (size_) return *size_;
  if (rect_) return CSize(rect_->Width(), rect_->Height());
  return CSize();
}

const SkinImage* SkinItem::GetImage(const std::string& state) const {
  auto it = images_.find(state);
  return it == images_.end() ? nullptr : it->second.get();
}

const SkinImage* SkinItem::GetStateImage(const std::string& state) const {
  if (const SkinImage* image = GetImage(state)) return image;
  // Checked looks fall back to the plain checked look, everything else to "normal".
  if (state.rfind("checked", 0) == 0 && state != "checked") {
    if (const SkinImage* image = GetImage("checked")) return image;
  }
  if (state == "pressed") {
    if (const SkinImage* image = GetImage("hover")) return image;
  }
  return GetImage("normal");
}

SkinFont SkinItem::GetFont() const {
  if (font_) return *font_;
  return manager_ ? manager_->GetDefaultFont() : SkinFont();
}

bool SkinItem::ReadColorAttribute(const std::string& name, SkColor* out) const {
  auto it = colors_.find(name);
  if (it == colors_.end()) return false;
  if (out) *out = it->second;
  return true;
}

std::shared_ptr<SkBitmap> SkinItem::ReadBitmapAttribute(const std::wstring& name) const {
  auto it = bitmaps_.find(name);
  std::shared_ptr<SkinImage> image =
      it != bitmaps_.end() ? it->second : (manager_ ? manager_->GetSharedBitmap(name) : nullptr);
  if (!image || !image->valid()) return nullptr;
  return image->Bitmap();
}

const SIZE* SkinItem::ReadSizeAttribute(const std::wstring& name) const {
  auto it = sizes_.find(name);
  if (it != sizes_.end()) return &it->second;
  return manager_ ? manager_->GetSharedSize(name) : nullptr;
}

SkinManager::SkinManager() = default;

SkinManager::~SkinManager() {
  ForgetSkinItemsOf(this);
  if (g_current == this) g_current = nullptr;
}

bool SkinManager::Load(const wchar_t* path, bool reserved) {
  DCHECK_CALLED_ON_VALID_THREAD(UiThreadChecker());
  if (!path || !*path) {
    error_ = "no skin path";
    return false;
  }
  QFile file(QString::fromWCharArray(path));
  if (!file.open(QIODevice::ReadOnly)) {
    error_ = "cannot open " + file.fileName().toStdString();
    return false;
  }
  // A skin is a few hundred kilobytes; refuse anything absurd rather than read it all.
  constexpr qint64 kMaxSkinBytes = 64 * 1024 * 1024;
  if (file.size() > kMaxSkinBytes) {
    error_ = "skin file too large";
    return false;
  }
  return LoadFromData(file.readAll());
}

bool SkinManager::LoadFromData(const QByteArray& data) {
  DCHECK_CALLED_ON_VALID_THREAD(UiThreadChecker());
  std::string error;
  SkinManager fresh;
  if (!fresh.Parse(data, &error)) {
    error_ = error;
    return false;
  }
  // Keep the old skin until the new one parsed whole.
  ForgetSkinItemsOf(this);
  items_ = std::move(fresh.items_);
  for (auto& [name, item] : items_) item->manager_ = this;
  sharedBitmaps_ = std::move(fresh.sharedBitmaps_);
  sharedSizes_ = std::move(fresh.sharedSizes_);
  defaultFont_ = fresh.defaultFont_;
  defaultTextColor_ = fresh.defaultTextColor_;
  loaded_ = true;
  error_.clear();
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

  std::map<std::string, std::shared_ptr<SkinImage>> images;
  auto image = [&](const QJsonValue& v, std::shared_ptr<SkinImage>* out) {
    const std::string name = v.toString().toStdString();
    if (auto it = images.find(name); it != images.end()) {
      *out = it->second;
      return true;
    }
    auto res = contents.resources.find(name);
    if (res == contents.resources.end()) {
      *error = "missing image " + name;
      return false;
    }
    const bool svg = QString::fromStdString(name).endsWith(".svg", Qt::CaseInsensitive);
    auto img = std::make_shared<SkinImage>(res->second, svg);
    if (!img->valid()) {
      *error = "unreadable image " + name;
      return false;
    }
    if (img->size().cx > kMaxSkinExtent || img->size().cy > kMaxSkinExtent) {
      *error = "image too large " + name;
      return false;
    }
    images[name] = img;
    *out = img;
    return true;
  };

  const QJsonObject defaults = root.value("defaults").toObject();
  defaultFont_ = ParseFont(defaults.value("font").toObject(), SkinFont());
  if (defaults.contains("textColor") &&
      !ParseColor(defaults.value("textColor"), &defaultTextColor_)) {
    *error = "bad default text colour";
    return false;
  }

  const QJsonObject attributes = root.value("attributes").toObject();
  const QJsonObject sharedBitmaps = attributes.value("bitmaps").toObject();
  for (auto it = sharedBitmaps.begin(); it != sharedBitmaps.end(); ++it) {
    std::shared_ptr<SkinImage> img;
    if (!image(it.value(), &img)) return false;
    sharedBitmaps_[it.key().toStdWString()] = img;
  }
  const QJsonObject sharedSizes = attributes.value("sizes").toObject();
  for (auto it = sharedSizes.begin(); it != sharedSizes.end(); ++it) {
    int v[2];
    if (!ParseInts(it.value(), 2, v)) {
      *error = "bad size attribute " + it.key().toStdString();
      return false;
    }
    sharedSizes_[it.key().toStdWString()] = SIZE{v[0], v[1]};
  }

  const QJsonObject entries = root.value("entries").toObject();
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    const std::string key = it.key().toStdString();
    const QJsonObject e = it.value().toObject();
    auto item = std::make_unique<SkinItem>(it.key().toStdWString(), this);
    int v[4];
    if (e.contains("rect")) {
      if (!ParseInts(e.value("rect"), 4, v) || v[2] < 0 || v[3] < 0) {
        *error = "bad rect of " + key;
        return false;
      }
      item->rect_ = CRect::FromXYWH(v[0], v[1], v[2], v[3]);
    }
    if (e.contains("size")) {
      if (!ParseInts(e.value("size"), 2, v) || v[0] < 0 || v[1] < 0) {
        *error = "bad size of " + key;
        return false;
      }
      item->size_ = CSize(v[0], v[1]);
    }
    if (e.contains("ninePatch")) {
      if (!ParseInts(e.value("ninePatch"), 4, v)) {
        *error = "bad ninePatch of " + key;
        return false;
      }
      item->ninePatch_.Set(v[0], v[1], v[2], v[3]);
    }
    if (e.contains("padding")) {
      if (!ParseInts(e.value("padding"), 4, v)) {
        *error = "bad padding of " + key;
        return false;
      }
      item->padding_.Set(v[0], v[1], v[2], v[3]);
    }
    if (e.contains("align")) item->align_ = e.value("align").toString().toStdString();
    if (e.contains("font")) item->font_ = ParseFont(e.value("font").toObject(), defaultFont_);
    const QJsonObject colors = e.value("colors").toObject();
    for (auto c = colors.begin(); c != colors.end(); ++c) {
      SkColor color = 0;
      if (!ParseColor(c.value(), &color)) {
        *error = "bad colour " + c.key().toStdString() + " of " + key;
        return false;
      }
      item->colors_[c.key().toStdString()] = color;
    }
    const QJsonObject states = e.value("images").toObject();
    for (auto s = states.begin(); s != states.end(); ++s) {
      std::shared_ptr<SkinImage> img;
      if (!image(s.value(), &img)) return false;
      item->images_[s.key().toStdString()] = img;
    }
    const QJsonObject bitmaps = e.value("bitmaps").toObject();
    for (auto b = bitmaps.begin(); b != bitmaps.end(); ++b) {
      std::shared_ptr<SkinImage> img;
      if (!image(b.value(), &img)) return false;
      item->bitmaps_[b.key().toStdWString()] = img;
    }
    const QJsonObject sizes = e.value("sizes").toObject();
    for (auto z = sizes.begin(); z != sizes.end(); ++z) {
      if (!ParseInts(z.value(), 2, v)) {
        *error = "bad size attribute " + z.key().toStdString() + " of " + key;
        return false;
      }
      item->sizes_[z.key().toStdWString()] = SIZE{v[0], v[1]};
    }
    items_[item->name()] = std::move(item);
  }
  return true;
}

void SkinManager::SetAlpha(unsigned char alpha, bool redraw) { alpha_ = alpha; }
void SkinManager::SetSkinAlpha(unsigned char alpha, bool redraw) { skinAlpha_ = alpha; }
void SkinManager::SetLayered(bool layered, bool redraw) { layered_ = layered; }

void SkinManager::SetBackColor(unsigned int argb, bool redraw) {
  backColor_ = argb;
  if (redraw) {
    for (QWidget* w : QApplication::topLevelWidgets()) w->update();
  }
}

SkinItem* SkinManager::GetItem(const std::wstring& name) const {
  auto it = items_.find(name);
  return it == items_.end() ? nullptr : it->second.get();
}

std::shared_ptr<SkinImage> SkinManager::GetSharedBitmap(const std::wstring& name) const {
  auto it = sharedBitmaps_.find(name);
  return it == sharedBitmaps_.end() ? nullptr : it->second;
}

const SIZE* SkinManager::GetSharedSize(const std::wstring& name) const {
  auto it = sharedSizes_.find(name);
  return it == sharedSizes_.end() ? nullptr : &it->second;
}

SkinManager* SkinManager::Current() { return g_current; }

void RegisterSkinManager(SkinManager* manager) {
  g_current = manager;
  if (manager && manager->loaded()) ReapplySkinToLiveControls();
}

void UnRegisterSkinManager() { g_current = nullptr; }

}  // namespace tavio_ui
