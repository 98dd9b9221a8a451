// The four custom controls, in their states, painted with the program's own skin into one PNG
// (controls_demo.png in the test's build folder) to look at after a change of code or artwork;
// and the parts whose pixels come straight from the skin's images checked against those images:
// the thumb, the section and the clock's digits.

#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include "controls/digital_clock.h"
#include "controls/section_track_bar.h"
#include "controls/simple_combobox.h"
#include "controls/spin_edit_foloat.h"
#include "ui/skin_manager.h"

namespace {

using tavio_ui::Control;
using tavio_ui::CRect;

// A line of text beside the samples.
class Caption : public Control {
 public:
  explicit Caption(std::wstring text) : text(std::move(text)) {}
  void DoPaint(SkCanvas* canvas) override {
    SkPaint paint;
    paint.setColor(0xFF416C8F);
    canvas->drawText(text, 0, static_cast<SkScalar>(GetHeight() - 5), paint);
  }

 private:
  std::wstring text;
};

// The demo's sheet: a plain container with the samples as its children.
class Sheet : public tavio_ui::Container {
 public:
  void DoPaint(SkCanvas* canvas) override { canvas->drawColor(0xFFEEF4FA); }

  template <typename T>
  T* Add(std::unique_ptr<T> control, const wchar_t* skinName, CRect pos) {
    control->SetSkinPosEnable(false);
    if (skinName) control->SetName(skinName);
    AddControl(control.get());
    control->SetPos(&pos);
    T* raw = control.get();
    owned.push_back(std::move(control));
    return raw;
  }
  void Caption(const std::wstring& text, int x, int y, int w = 140) {
    Add(std::make_unique<::Caption>(text), nullptr, CRect::FromXYWH(x, y, w, 20));
  }

 private:
  std::vector<std::unique_ptr<Control>> owned;
};

void SendMouse(Control* control, QEvent::Type type, int x, int y, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
  QWidget* w = control->widget();
  QMouseEvent event(type, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), button, buttons,
                    Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

// A pixel as "#aarrggbb", for readable failures.
std::string Argb(QRgb c) { return QColor::fromRgba(c).name(QColor::HexArgb).toStdString(); }

// Where each pixel of a skin image must land when the control draws it unscaled (a glyph) or as
// a nine-patch (the track bar's parts: only the middle row and column stretch, so the top-left
// quarter is copied as it is): the opaque pixels of that part of the image, in control pixels
// from origin, leaving out the points inside any of `covered` (parts painted over it).
struct ExpectedPixel {
  QPoint at;
  QRgb color;
};
std::vector<ExpectedPixel> OpaquePixels(const SkBitmap& image, QPoint origin, int width,
                                        int height, const std::vector<CRect>& covered = {}) {
  std::vector<ExpectedPixel> pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const QRgb c = image.getColor(x, y);
      const QPoint at = origin + QPoint(x, y);
      bool hidden = false;
      for (const CRect& r : covered) {
        hidden = hidden || (at.x() >= r.left && at.x() < r.right && at.y() >= r.top &&
                            at.y() < r.bottom);
      }
      if (qAlpha(c) == 255 && !hidden) pixels.push_back({at, c});
    }
  }
  return pixels;
}

class ControlsDemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(skin.Load(SONACLIP_DEMO_SKIN, false)) << skin.error();
    tavio_ui::RegisterSkinManager(&skin);
    BuildSheet();
    sheet->widget()->show();
    QApplication::processEvents();
    picture = QImage(sheet->widget()->size(), QImage::Format_ARGB32);
    picture.fill(Qt::white);
    sheet->widget()->render(&picture);
  }
  void TearDown() override {
    sheet.reset();
    tavio_ui::UnRegisterSkinManager();
  }

  void BuildSheet();

  // Checks that the picture holds every expected pixel of control; counts them, so that a skin
  // without one opaque pixel there fails instead of checking nothing.
  void ExpectPainted(Control* control, const std::vector<ExpectedPixel>& pixels, const char* what) {
    ASSERT_FALSE(pixels.empty()) << what << ": the skin's image has no opaque pixel to check";
    const QPoint offset = control->widget()->mapTo(sheet->widget(), QPoint(0, 0));
    int wrong = 0;
    for (const ExpectedPixel& p : pixels) {
      const QPoint at = offset + p.at;
      const QRgb painted = picture.pixel(at);
      if (painted != p.color && wrong++ < 5) {
        ADD_FAILURE() << what << " at (" << at.x() << ", " << at.y() << "): " << Argb(painted)
                      << " instead of the skin's " << Argb(p.color);
      }
    }
    EXPECT_EQ(wrong, 0) << what << ": pixels that differ from the skin, of " << pixels.size();
  }

  tavio_ui::SkinManager skin;
  std::unique_ptr<Sheet> sheet;
  std::vector<tavio_ui::SectionTrackBar*> bars;
  tavio_ui::DigitalClock* playTime = nullptr;
  QImage picture;
};

void ControlsDemoTest::BuildSheet() {
  sheet = std::make_unique<Sheet>();
  const CRect sheetRect(0, 0, 720, 430);
  sheet->SetPos(&sheetRect);

  // Clocks: the texts the display has to read well.
  sheet->Caption(L"DigitalClock", 16, 8);
  const int seconds[] = {0, 59, 3600, 3601, 36000 - 1, -75};
  for (int i = 0; i < 6; ++i) {
    auto* clock = sheet->Add(std::make_unique<tavio_ui::DigitalClock>(), L"PlayTime",
                             CRect::FromXYWH(16 + i * 116, 32, 108, 32));
    clock->SetTransparent(true);
    clock->SetSeconds(seconds[i]);
  }
  // At the size the main window gives it.
  playTime = sheet->Add(std::make_unique<tavio_ui::DigitalClock>(), L"PlayTime",
                              skin.GetItem(L"PlayTime") && skin.GetItem(L"PlayTime")->HasRect()
                                  ? CRect::FromXYWH(16, 72, skin.GetItem(L"PlayTime")->GetRect().Width(),
                                                    skin.GetItem(L"PlayTime")->GetRect().Height())
                                  : CRect::FromXYWH(16, 72, 64, 32));
  playTime->SetTransparent(true);
  playTime->SetSeconds(3601);
  sheet->Caption(L"← main window size, 01:00:01", 120, 80, 300);

  // Track bars: normal, thumb hover, thumb pressed, start marker hover, disabled.
  sheet->Caption(L"SectionTrackBar: normal / thumb hover / thumb pressed / marker hover / disabled",
                 16, 112, 700);
  const CRect trackSize = skin.GetItem(L"SonaclipTrackBar") &&
                                  skin.GetItem(L"SonaclipTrackBar")->HasRect()
                              ? skin.GetItem(L"SonaclipTrackBar")->GetRect()
                              : CRect(0, 0, 536, 36);
  for (int i = 0; i < 5; ++i) {
    auto* bar = sheet->Add(std::make_unique<tavio_ui::SectionTrackBar>(), L"SonaclipTrackBar",
                           CRect::FromXYWH(16, 136 + i * 40, trackSize.Width(),
                                           trackSize.Height()));
    bar->SetRange(0, 1000);
    bar->SetSectionStart(200 + i * 20);
    bar->SetSectionEnd(700);
    bar->SetValue(350 + i * 60);
    bars.push_back(bar);
  }
  const CRect thumb1 = bars[1]->GetThumbRect();
  SendMouse(bars[1], QEvent::MouseMove, thumb1.left + 3, thumb1.top + 3, Qt::NoButton,
            Qt::NoButton);
  const CRect thumb2 = bars[2]->GetThumbRect();
  SendMouse(bars[2], QEvent::MouseButtonPress, thumb2.left + 5, thumb2.top + 5, Qt::LeftButton,
            Qt::LeftButton);
  const CRect marker = bars[3]->GetStartMarkerRect();
  SendMouse(bars[3], QEvent::MouseMove, (marker.left + marker.right) / 2, marker.bottom - 2,
            Qt::NoButton, Qt::NoButton);
  bars[4]->SetEnabled(false);

  // Spin edits: seconds with tenths, whole minutes, three digits, disabled.
  sheet->Caption(L"SpinEditFoloat", 16, 340);
  struct SpinSample {
    const wchar_t* name;
    bool tenths;
    int value;
    bool enabled;
  } spins[] = {{L"EditStartSec", true, 59999, true},
               {L"EditStartMin", false, 5, true},
               {L"EditEndMin", false, 123, true},
               {L"EditEndSec", true, 100, false}};
  for (int i = 0; i < 4; ++i) {
    tavio_ui::SkinItem* item = skin.GetItem(spins[i].name);
    const CRect r = item && item->HasRect() ? item->GetRect() : CRect(0, 0, 60, 26);
    auto* spin = sheet->Add(std::make_unique<tavio_ui::SpinEditFoloat>(), spins[i].name,
                            CRect::FromXYWH(16 + i * 90, 364, r.Width(), r.Height()));
    spin->SetShowTenths(spins[i].tenths);
    spin->SetValue(spins[i].value);
    spin->SetEnabled(spins[i].enabled);
  }

  // Comboboxes as the output step fills them.
  sheet->Caption(L"SimpleCombobox", 400, 340);
  auto* format = sheet->Add(std::make_unique<SimpleCombobox>(), L"RingSaveFormatCombox",
                            CRect::FromXYWH(400, 364, 90, 26));
  format->SetTextColor(0xff4c618f);
  format->AddItem(L"MP3");
  format->AddItem(L"WAV");
  format->SetText(L"MP3");
  auto* channels = sheet->Add(std::make_unique<SimpleCombobox>(), L"RingSaveChannelCombox",
                              CRect::FromXYWH(500, 364, 90, 26));
  channels->AddItem(L"单声道");
  channels->AddItem(L"双声道");
  channels->SetText(L"双声道");
  auto* volume = sheet->Add(std::make_unique<SimpleCombobox>(), L"RingSaveVolCombox",
                            CRect::FromXYWH(600, 364, 90, 26));
  for (const wchar_t* v : {L"原始", L"0.5倍", L"1.0倍", L"1.5倍", L"2.0倍"}) volume->AddItem(v);
  volume->SetText(L"1.5倍");
  volume->SetEnabled(false);

}

// The picture to look at; the tests below check what it shows.
TEST_F(ControlsDemoTest, WritesThePicture) {
  const QString path = QStringLiteral(SONACLIP_DEMO_PNG);
  ASSERT_TRUE(picture.save(path)) << path.toStdString();
  EXPECT_EQ(QImage(path).size(), picture.size());
}

// The first bar, untouched: its thumb is the skin's normal thumb, its section the skin's front
// image, each drawn as a nine-patch whose top-left quarter keeps the artwork's pixels.
TEST_F(ControlsDemoTest, TheThumbAndTheSectionAreTheSkinsImages) {
  tavio_ui::SectionTrackBar* bar = bars[0];
  ASSERT_NE(bar->GetSkinItem(), nullptr);
  const CRect thumb = bar->GetThumbRect();
  const struct {
    const wchar_t* image;
    CRect rect;
    std::vector<CRect> covered;  // parts painted over it
  } parts[] = {
      {L"TrackBarThumbNormal", thumb, {}},
      {L"TrackBarFront", bar->GetSectionRect(),
       {thumb, bar->GetStartMarkerRect(), bar->GetEndMarkerRect()}},
  };
  for (const auto& part : parts) {
    const std::string what = QString::fromWCharArray(part.image).toStdString();
    const auto image = bar->GetSkinItem()->ReadBitmapAttribute(part.image);
    ASSERT_TRUE(image && !image->empty()) << what;
    ASSERT_GE(part.rect.Width(), image->width()) << what;
    ASSERT_GE(part.rect.Height(), image->height()) << what;
    ExpectPainted(bar,
                  OpaquePixels(*image, QPoint(part.rect.left, part.rect.top), image->width() / 2,
                               image->height() / 2, part.covered),
                  what.c_str());
  }
}

// The clock at the main window's size shows 01:00:01: its first two glyphs are the skin's "0"
// and "1", unscaled, side by side from the left edge.
TEST_F(ControlsDemoTest, TheClockShowsTheSkinsDigits) {
  ASSERT_EQ(playTime->GetTimeText(), L"01:00:01");
  ASSERT_NE(playTime->GetSkinItem(), nullptr);
  int x = 0;
  for (const wchar_t* name : {L"Digital0", L"Digital1"}) {
    const std::string what = QString::fromWCharArray(name).toStdString();
    const auto glyph = playTime->GetSkinItem()->ReadBitmapAttribute(name);
    ASSERT_TRUE(glyph && !glyph->empty()) << what;
    ExpectPainted(playTime, OpaquePixels(*glyph, QPoint(x, 0), glyph->width(), glyph->height()),
                  what.c_str());
    x += glyph->width();
  }
}

}  // namespace
