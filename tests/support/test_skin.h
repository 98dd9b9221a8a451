// A skin made in memory for the tests of the UI library and the controls: solid-colour images
// under a JSON index, packed in the real file format and registered as the current skin for the
// object's lifetime. Also the pixels a control paints, read back for checking. Main thread.
#pragma once

#include <map>
#include <string>

#include <QByteArray>
#include <QImage>
#include <QJsonObject>

#include "ui/skin_manager.h"

namespace tavio_ui {
class Control;
}

namespace testsupport {

class TestSkin {
 public:
  TestSkin() = default;
  ~TestSkin();
  TestSkin(const TestSkin&) = delete;
  TestSkin& operator=(const TestSkin&) = delete;

  // A w x h PNG filled with colour, exact pixels to check; a border colour, when given, paints
  // its outermost ring.
  void AddBox(const std::string& name, int w, int h, QRgb color, QRgb border = 0);
  // A w x h SVG rectangle of colour "#rrggbb": sharp at whatever size a control scales it to.
  void AddSvgBox(const std::string& name, int w, int h, const std::string& color);
  // Any bytes under a name, for images the boxes cannot express (a broken file, a huge SVG).
  void AddRaw(const std::string& name, const QByteArray& bytes) { resources[name] = bytes; }

  // The skin file of index (or of raw index text) with the images added so far.
  QByteArray Pack(const QJsonObject& index) const;
  QByteArray PackRaw(const QByteArray& index) const;

  // Makes this the current skin and loads index with the images added so far; a failure is
  // reported as a test failure too, with the reader's reason.
  bool Load(const QJsonObject& index);

  tavio_ui::SkinManager& manager() { return skinManager; }

 private:
  std::map<std::string, QByteArray> resources;
  tavio_ui::SkinManager skinManager;
};

// What the control shows, painted as the window would paint it.
QImage Render(tavio_ui::Control& control);

// "#rrggbb" of a pixel, "none" where nothing was painted, "outside" beyond the image: readable
// failures.
std::string ColorAt(const QImage& image, int x, int y);

}  // namespace testsupport
