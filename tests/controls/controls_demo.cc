// controls_demo: paints the four custom controls, in their states, with the program's own skin,
// into one PNG, so their look can be checked by eye after a change of code or artwork.
//   controls_demo [SKIN.skn] [OUT.png]
// Runs on any Qt platform (offscreen too).

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

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
  explicit Caption(std::wstring text) : text_(std::move(text)) {}
  void DoPaint(SkCanvas* canvas) override {
    SkPaint paint;
    paint.setColor(0xFF416C8F);
    canvas->drawText(text_, 0, static_cast<SkScalar>(GetHeight() - 5), paint);
  }

 private:
  std::wstring text_;
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
    owned_.push_back(std::move(control));
    return raw;
  }
  void Caption(const std::wstring& text, int x, int y, int w = 140) {
    Add(std::make_unique<::Caption>(text), nullptr, CRect::FromXYWH(x, y, w, 20));
  }

 private:
  std::vector<std::unique_ptr<Control>> owned_;
};

void SendMouse(Control* control, QEvent::Type type, int x, int y, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
  QWidget* w = control->widget();
  QMouseEvent event(type, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), button, buttons,
                    Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const std::wstring skinPath = argc > 1 ? QString(argv[1]).toStdWString() : SONACLIP_DEMO_SKIN;
  const QString outPath = argc > 2 ? QString(argv[2]) : QStringLiteral("controls_demo.png");

  tavio_ui::SkinManager skin;
  if (!skin.Load(skinPath.c_str(), false)) {
    std::fprintf(stderr, "controls_demo: cannot load the skin: %s\n", skin.error().c_str());
    return 1;
  }
  tavio_ui::RegisterSkinManager(&skin);

  auto sheet = std::make_unique<Sheet>();
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
  auto* playTime = sheet->Add(std::make_unique<tavio_ui::DigitalClock>(), L"PlayTime",
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
  std::vector<tavio_ui::SectionTrackBar*> bars;
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

  sheet->widget()->show();
  QApplication::processEvents();
  QImage image(sheet->widget()->size(), QImage::Format_ARGB32);
  image.fill(Qt::white);
  sheet->widget()->render(&image);
  if (!image.save(outPath)) {
    std::fprintf(stderr, "controls_demo: cannot write %s\n", qPrintable(outPath));
    return 1;
  }
  std::printf("%s\n", qPrintable(outPath));
  sheet.reset();
  tavio_ui::UnRegisterSkinManager();
  return 0;
}
