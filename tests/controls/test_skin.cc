#include "tests/controls/test_skin.h"

#include <QColor>
#include <QJsonDocument>
#include <QWidget>

#include <gtest/gtest.h>

#include "ui/control.h"
#include "ui/skin_file.h"

namespace controls_test {

TestSkin::TestSkin() = default;

TestSkin::~TestSkin() {
  if (tavio_ui::SkinManager::Current() == &manager_) tavio_ui::UnRegisterSkinManager();
}

void TestSkin::AddBox(const std::string& name, int w, int h, const char* color) {
  resources_[name] = QStringLiteral(
                         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\">"
                         "<rect width=\"%1\" height=\"%2\" fill=\"%3\"/></svg>")
                         .arg(w)
                         .arg(h)
                         .arg(QLatin1String(color))
                         .toUtf8();
}

void TestSkin::Load(const QJsonObject& index) {
  tavio_ui::skin_file::Contents contents;
  contents.index = QJsonDocument(index).toJson(QJsonDocument::Compact);
  contents.resources = resources_;
  ASSERT_TRUE(manager_.LoadFromData(tavio_ui::skin_file::Write(contents))) << manager_.error();
  tavio_ui::RegisterSkinManager(&manager_);
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

}  // namespace controls_test
