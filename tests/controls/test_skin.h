// A small skin built in memory for the control tests: a JSON index plus solid-colour SVG images,
// packed as the skin file format and registered as the current skin for the test's lifetime.
// Main thread.

#ifndef SONACLIP_TESTS_CONTROLS_TEST_SKIN_H_
#define SONACLIP_TESTS_CONTROLS_TEST_SKIN_H_

#include <map>
#include <string>

#include <QByteArray>
#include <QImage>
#include <QJsonObject>

#include "ui/skin_manager.h"

namespace tavio_ui {
class Control;
}

namespace controls_test {

class TestSkin {
 public:
  TestSkin();
  ~TestSkin();
  TestSkin(const TestSkin&) = delete;
  TestSkin& operator=(const TestSkin&) = delete;

  // A solid w x h rectangle of colour "#rrggbb", stored under name.
  void AddBox(const std::string& name, int w, int h, const char* color);
  // Loads index (with the boxes added so far) and makes it the current skin.
  void Load(const QJsonObject& index);

  tavio_ui::SkinManager& manager() { return manager_; }

 private:
  std::map<std::string, QByteArray> resources_;
  tavio_ui::SkinManager manager_;
};

// What the control shows, painted as the window would paint it.
QImage Render(tavio_ui::Control& control);

// "#rrggbb" of a pixel, for readable failures.
std::string ColorAt(const QImage& image, int x, int y);

}  // namespace controls_test

#endif  // SONACLIP_TESTS_CONTROLS_TEST_SKIN_H_
