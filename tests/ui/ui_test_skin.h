// A skin made in memory for the UI library's tests: solid-colour PNG images (exact pixels to
// check) under a JSON index, packed in the real file format and registered as the current skin
// for the fixture's lifetime. Main thread.
#pragma once

#include <map>
#include <string>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>

#include "ui/skin_file.h"
#include "ui/skin_manager.h"

namespace ui_test {

class TestSkin {
 public:
  TestSkin() = default;
  ~TestSkin() { tavio_ui::UnRegisterSkinManager(); }
  TestSkin(const TestSkin&) = delete;
  TestSkin& operator=(const TestSkin&) = delete;

  // A w x h PNG filled with colour; a border colour, when given, paints its outermost ring.
  void AddBox(const std::string& name, int w, int h, QRgb color, QRgb border = 0) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(color);
    if (border) {
      for (int x = 0; x < w; ++x) {
        image.setPixel(x, 0, border);
        image.setPixel(x, h - 1, border);
      }
      for (int y = 0; y < h; ++y) {
        image.setPixel(0, y, border);
        image.setPixel(w - 1, y, border);
      }
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    resources_[name] = png;
  }

  // Any bytes under a name, for images the boxes cannot express (an SVG, a broken file).
  void AddRaw(const std::string& name, const QByteArray& bytes) { resources_[name] = bytes; }

  QByteArray Pack(const QJsonObject& index) const {
    return PackRaw(QJsonDocument(index).toJson(QJsonDocument::Compact));
  }
  QByteArray PackRaw(const QByteArray& index) const {
    tavio_ui::skin_file::Contents contents;
    contents.index = index;
    contents.resources = resources_;
    return tavio_ui::skin_file::Write(contents);
  }

  // Loads the index with the boxes added so far and registers the skin.
  bool Load(const QJsonObject& index) {
    tavio_ui::RegisterSkinManager(&manager_);
    return manager_.LoadFromData(Pack(index));
  }

  tavio_ui::SkinManager& manager() { return manager_; }

 private:
  std::map<std::string, QByteArray> resources_;
  tavio_ui::SkinManager manager_;
};

}  // namespace ui_test
