#include "tests/support/test_skin.h"

#include <QBuffer>
#include <QColor>
#include <QJsonDocument>
#include <QWidget>

#include <gtest/gtest.h>

#include "ui/control.h"
#include "ui/skin_file.h"

namespace testsupport {

TestSkin::~TestSkin() {
  if (tavio_ui::SkinManager::Current() == &skinManager) tavio_ui::UnRegisterSkinManager();
}

void TestSkin::AddBox(const std::string& name, int w, int h, QRgb color, QRgb border) {
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
  resources[name] = png;
}

void TestSkin::AddSvgBox(const std::string& name, int w, int h, const std::string& color) {
  resources[name] = QStringLiteral(
                        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\">"
                        "<rect width=\"%1\" height=\"%2\" fill=\"%3\"/></svg>")
                        .arg(w)
                        .arg(h)
                        .arg(QString::fromStdString(color))
                        .toUtf8();
}

QByteArray TestSkin::Pack(const QJsonObject& index) const {
  return PackRaw(QJsonDocument(index).toJson(QJsonDocument::Compact));
}

QByteArray TestSkin::PackRaw(const QByteArray& index) const {
  tavio_ui::skin_file::Contents contents;
  contents.index = index;
  contents.resources = resources;
  return tavio_ui::skin_file::Write(contents);
}

bool TestSkin::Load(const QJsonObject& index) {
  tavio_ui::RegisterSkinManager(&skinManager);
  const bool loaded = skinManager.LoadFromData(Pack(index));
  if (!loaded) ADD_FAILURE() << "the test skin did not load: " << skinManager.error();
  return loaded;
}

QImage Render(tavio_ui::Control& control) {
  QWidget* widget = control.widget();
  QImage image(widget->size(), QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

std::string ColorAt(const QImage& image, int x, int y) {
  if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return "outside";
  const QColor c = image.pixelColor(x, y);
  if (c.alpha() == 0) return "none";
  return c.name().toStdString();
}

}  // namespace testsupport
