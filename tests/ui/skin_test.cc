// The skin: the shipped file holds every skin name, bitmap and size the program's windows and
// custom controls ask for; damaged or foreign files are refused without losing the loaded skin;
// colour markup splits into the right runs; the canvas' nine-patch keeps corners.
#include <gtest/gtest.h>

#include <initializer_list>

#include <QFile>
#include <QFontInfo>
#include <QJsonArray>
#include <QTemporaryDir>

#include "tests/support/test_skin.h"
#include "ui/label.h"
#include "ui/skin_manager.h"

namespace {

using tavio_ui::SkinManager;

// Every skin name the program's windows bind controls to.
const wchar_t* const kProgramSkinNames[] = {
    // Main window.
    L"main_form", L"SonaclipFormBackground", L"SonaclipFormClose", L"AddSongBG", L"FirstStep",
    L"AddSong", L"TryOtherSong", L"SongName", L"SongAdvise", L"SongInfo", L"SonaclipBG",
    L"SecondStep", L"RingTime", L"RingSize", L"SizeWarnInfo", L"EditStartMin", L"EditStartSec",
    L"EditEndMin", L"EditEndSec", L"PlayPause", L"SonaclipTrackBar", L"PlayTime", L"CutStart",
    L"CutEnd", L"ListenRing", L"SaveRingBG", L"ThirdStep", L"HeadFadeCheck", L"TailFadeCheck",
    L"HeadFadeEdit", L"TailFadeEdit", L"SaveRing", L"RingSaveQualityLabel",
    L"RingSaveFormatCombox", L"RingSaveChannelCombox", L"RingSaveQualityCombox",
    L"RingSaveVolCombox",
    // Save progress window.
    L"SonaclipProcessWnd", L"ProcessWndClose", L"ProcessWndBackground", L"ProcessWndTitle",
    L"ProcessWndInfo", L"ProcessLabel", L"CurrentPercent", L"ProcessWndCancel",
    L"SonaclipProgressBar",
    // Web window.
    L"OtherRingWebWnd", L"HotRingWndClose", L"HotRingWndBackground", L"HotRingWeb",
    // Spin edit buttons.
    L"_0", L"_1"};

const wchar_t* const kControlBitmaps[] = {
    L"Digital0", L"Digital1", L"Digital2", L"Digital3", L"Digital4", L"Digital5", L"Digital6",
    L"Digital7", L"Digital8", L"Digital9", L"DigitalTimeColon", L"DigitalTimeMinus",
    L"DigitalTimeBackground", L"TrackBarThumbNormal", L"TrackBarThumbHover",
    L"TrackBarThumbDown", L"TrackBarThumbDisable", L"TrackBarFront", L"TrackBarBackground",
    L"TrackBarArrow"};

std::wstring SkinPath() { return QString(SONACLIP_SKIN_FILE).toStdWString(); }

TEST(ShippedSkinTest, HoldsEveryNameBitmapAndSizeTheProgramUses) {
  SkinManager skin;
  ASSERT_TRUE(skin.Load(SkinPath().c_str(), false)) << skin.error();
  for (const wchar_t* name : kProgramSkinNames) {
    EXPECT_NE(skin.GetItem(name), nullptr) << QString::fromWCharArray(name).toStdString();
  }
  // The custom controls read their bitmaps through their own entries.
  for (const wchar_t* owner : {L"PlayTime", L"SonaclipTrackBar"}) {
    tavio_ui::SkinItem* item = skin.GetItem(owner);
    ASSERT_NE(item, nullptr);
    for (const wchar_t* bitmap : kControlBitmaps) {
      std::shared_ptr<SkBitmap> b = item->ReadBitmapAttribute(bitmap);
      ASSERT_TRUE(b) << QString::fromWCharArray(bitmap).toStdString();
      EXPECT_GT(b->width(), 0);
      EXPECT_GT(b->height(), 0);
    }
    const SIZE* thumb = item->ReadSizeAttribute(L"TrackBarThumbSize");
    ASSERT_NE(thumb, nullptr);
    EXPECT_GT(thumb->cx, 0);
    EXPECT_GT(thumb->cy, 0);
  }
  // The track bar's layout reads the marker size from the arrow and the thumb size attribute;
  // a thumb taller than half the bar would not fit its track.
  tavio_ui::SkinItem* bar = skin.GetItem(L"SonaclipTrackBar");
  EXPECT_LE(bar->ReadSizeAttribute(L"TrackBarThumbSize")->cy, bar->GetRect().Height() / 2);
  // The spin buttons, placed by their edit, carry a size of their own.
  EXPECT_GT(skin.GetItem(L"_0")->GetSize().cx, 0);
  EXPECT_GT(skin.GetItem(L"_1")->GetSize().cy, 0);
}

TEST(ShippedSkinTest, TextsUseTheCjkFontThatIsInstalled) {
  SkinManager skin;
  ASSERT_TRUE(skin.Load(SkinPath().c_str(), false));
  EXPECT_EQ(skin.GetDefaultFont().family, L"WenQuanYi Micro Hei");
  QFont font(QString::fromStdWString(skin.GetDefaultFont().family));
  EXPECT_TRUE(QFontInfo(font).family().contains("WenQuanYi", Qt::CaseInsensitive))
      << QFontInfo(font).family().toStdString();
  EXPECT_EQ(skin.GetDefaultTextColor(), 0xFF416C8Fu);
}

TEST(ShippedSkinTest, MainWindowControlsLieInsideTheWindow) {
  SkinManager skin;
  ASSERT_TRUE(skin.Load(SkinPath().c_str(), false));
  const tavio_ui::CSize window = skin.GetItem(L"main_form")->GetSize();
  for (const wchar_t* name : kProgramSkinNames) {
    tavio_ui::SkinItem* item = skin.GetItem(name);
    if (!item || !item->HasRect() || std::wstring(name).rfind(L"Process", 0) == 0) continue;
    if (std::wstring(name).find(L"HotRing") != std::wstring::npos) continue;
    if (std::wstring(name) == L"SonaclipProgressBar" || std::wstring(name) == L"CurrentPercent") {
      continue;
    }
    const tavio_ui::CRect r = item->GetRect();
    EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= window.cx && r.bottom <= window.cy)
        << QString::fromWCharArray(name).toStdString();
  }
}

class DamagedSkinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QFile file(QString(SONACLIP_SKIN_FILE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    good = file.readAll();
    ASSERT_TRUE(skin.LoadFromData(good));
  }
  // A refused file leaves the loaded skin in place.
  void ExpectRefused(const QByteArray& data, const std::string& what) {
    EXPECT_FALSE(skin.LoadFromData(data)) << what;
    EXPECT_FALSE(skin.error().empty()) << what;
    EXPECT_NE(skin.GetItem(L"AddSong"), nullptr) << what;
  }
  QByteArray good;
  SkinManager skin;
};

TEST_F(DamagedSkinTest, RefusesTruncatedCopiesAtEveryCut) {
  for (qsizetype cut = 0; cut < good.size(); cut += std::max<qsizetype>(1, good.size() / 97)) {
    ExpectRefused(good.left(cut), "cut at " + std::to_string(cut));
  }
  ExpectRefused(good.left(good.size() - 1), "last byte missing");
}

TEST_F(DamagedSkinTest, RefusesFlippedBytesForeignFilesAndMissingFiles) {
  for (qsizetype at : {qsizetype(0), qsizetype(9), good.size() / 2, good.size() - 5}) {
    QByteArray bad = good;
    bad[at] = static_cast<char>(bad[at] ^ 0x5A);
    ExpectRefused(bad, "byte " + std::to_string(at));
  }
  ExpectRefused(QByteArray("PNG\x89 certainly not a skin"), "foreign");
  ExpectRefused(good + QByteArray("tail"), "trailing bytes");
  EXPECT_FALSE(skin.Load(L"/nonexistent/sonaclip.skn", false));
  EXPECT_FALSE(skin.Load(nullptr, false));
  EXPECT_NE(skin.GetItem(L"AddSong"), nullptr);
}

// With the images of skin, the index `good` loads and each of `bad` is refused whole.
void ExpectOnlyTheGoodIndexLoads(const testsupport::TestSkin& skin, const char* good,
                                 std::initializer_list<const char*> bad) {
  ASSERT_TRUE(SkinManager().LoadFromData(skin.PackRaw(good))) << good;
  for (const char* index : bad) {
    SkinManager manager;
    EXPECT_FALSE(manager.LoadFromData(skin.PackRaw(index))) << index;
  }
}

TEST(SkinIndexTest, RefusesEntriesThatNameMissingImagesOrBadValues) {
  testsupport::TestSkin skin;
  skin.AddBox("box.png", 4, 4, 0xFF00FF00);
  ExpectOnlyTheGoodIndexLoads(skin, R"({"entries": {"A": {"images": {"normal": "box.png"}}}})",
                              {
                                  R"({"entries": {"A": {"images": {"normal": "missing.png"}}}})",
                                  R"({"entries": {"A": {"rect": [1, 2, 3]}}})",
                                  R"({"entries": {"A": {"rect": [0, 0, -5, 4]}}})",
                                  R"({"entries": {"A": {"colors": {"text": "blue"}}}})",
                                  R"({"attributes": {"sizes": {"S": [1]}}})",
                                  R"([1, 2, 3])",
                              });
}

// Figures that no screen needs would overflow the track bar's pixel arithmetic, and a huge
// vector image would be rendered into gigabytes; a skin carrying them is refused whole.
TEST(SkinIndexTest, RefusesFiguresAndImagesTooLargeToDraw) {
  testsupport::TestSkin skin;
  skin.AddBox("box.png", 4, 4, 0xFF00FF00);
  skin.AddRaw("small.svg", R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16">)"
                           R"(<rect width="16" height="16" fill="red"/></svg>)");
  skin.AddRaw("huge.svg", R"(<svg xmlns="http://www.w3.org/2000/svg" width="200000" )"
                          R"(height="200000"><rect width="16" height="16" fill="red"/></svg>)");
  ExpectOnlyTheGoodIndexLoads(
      skin,
      R"({"attributes": {"sizes": {"TrackBarThumbSize": [16, 16]}, "bitmaps": {"B": "small.svg"}},)"
      R"( "entries": {"A": {"rect": [-10, 0, 600, 540], "images": {"normal": "box.png"}}}})",
      {
          R"({"attributes": {"sizes": {"TrackBarThumbSize": [2147483647, 16]}}})",
          R"({"entries": {"A": {"sizes": {"S": [16, -2147483647]}}}})",
          R"({"entries": {"A": {"rect": [2147483647, 0, 10, 10]}}})",
          R"({"entries": {"A": {"size": [100000, 10]}}})",
          R"({"entries": {"A": {"ninePatch": [1, 1, 1, 2000000000]}}})",
          R"({"attributes": {"bitmaps": {"B": "huge.svg"}}})",
          R"({"entries": {"A": {"images": {"normal": "huge.svg"}}}})",
      });
}

TEST(SkinIndexTest, EntryAttributesOverrideSharedOnesAndMissingLooksFallBack) {
  testsupport::TestSkin skin;
  skin.AddBox("red.png", 3, 2, 0xFFFF0000);
  skin.AddBox("blue.png", 5, 4, 0xFF0000FF);
  QJsonObject shared{{"bitmaps", QJsonObject{{"Glyph", "red.png"}}},
                     {"sizes", QJsonObject{{"Knob", QJsonArray{7, 8}}}}};
  QJsonObject own{{"bitmaps", QJsonObject{{"Glyph", "blue.png"}}},
                  {"images", QJsonObject{{"normal", "red.png"}}}};
  ASSERT_TRUE(skin.Load(QJsonObject{{"attributes", shared},
                                    {"entries", QJsonObject{{"Own", own}, {"Plain", QJsonObject{}}}}}))
      << skin.manager().error();
  EXPECT_EQ(skin.manager().GetItem(L"Own")->ReadBitmapAttribute(L"Glyph")->width(), 5);
  EXPECT_EQ(skin.manager().GetItem(L"Plain")->ReadBitmapAttribute(L"Glyph")->width(), 3);
  EXPECT_EQ(skin.manager().GetItem(L"Plain")->ReadSizeAttribute(L"Knob")->cy, 8);
  EXPECT_FALSE(skin.manager().GetItem(L"Plain")->ReadBitmapAttribute(L"Nothing"));
  EXPECT_EQ(skin.manager().GetItem(L"Plain")->ReadSizeAttribute(L"Nothing"), nullptr);
  // Hover, pressed and disabled looks default to the normal one.
  tavio_ui::SkinItem* item = skin.manager().GetItem(L"Own");
  EXPECT_EQ(item->GetStateImage("hover"), item->GetImage("normal"));
  EXPECT_EQ(item->GetStateImage("checkedPressed"), item->GetImage("normal"));
}

// A skin's defaults replace the library's own one by one: what the file leaves out keeps the
// library's value, and a default of the wrong kind refuses the whole file.
TEST(SkinIndexTest, DefaultsOverrideWhatTheyNameAndBadOnesAreRefused) {
  testsupport::TestSkin skin;
  SkinManager manager;
  ASSERT_TRUE(manager.LoadFromData(skin.PackRaw(
      R"({"defaults": {"editPadding": [1, 2, 3, 4], "popupBack": "#102030", "popupMaxRows": 3,)"
      R"( "checkBoxTextGap": 0}})")))
      << manager.error();
  const tavio_ui::SkinDefaults& d = manager.GetDefaults();
  const tavio_ui::SkinDefaults library;
  EXPECT_EQ(d.editPadding, tavio_ui::Insets(1, 2, 3, 4));
  EXPECT_EQ(d.popupBack, 0xFF102030u);
  EXPECT_EQ(d.popupMaxRows, 3);
  EXPECT_EQ(d.checkBoxTextGap, 0);
  EXPECT_EQ(d.popupBorder, library.popupBorder);
  EXPECT_EQ(d.popupSelected, library.popupSelected);
  EXPECT_EQ(d.comboPadding, library.comboPadding);
  EXPECT_EQ(d.editSelection, library.editSelection);
  EXPECT_EQ(d.textColor, library.textColor);
  EXPECT_EQ(manager.GetBackColor(), library.backColor);

  const char* bad[] = {
      R"({"defaults": {"editPadding": [1, 2]}})",
      R"({"defaults": {"comboPadding": [0, 0, 0, 5000]}})",
      R"({"defaults": {"popupMaxRows": -1}})",
      R"({"defaults": {"popupMaxRows": "many"}})",
      R"({"defaults": {"popupBack": "white"}})",
      R"({"defaults": {"textColor": "#12"}})",
  };
  for (const char* index : bad) {
    EXPECT_FALSE(manager.LoadFromData(skin.PackRaw(index))) << index;
    EXPECT_EQ(manager.GetDefaults().popupMaxRows, 3) << index;
  }
  // A later file without defaults brings the library's back.
  ASSERT_TRUE(manager.LoadFromData(skin.PackRaw("{}")));
  EXPECT_EQ(manager.GetDefaults().editPadding, library.editPadding);
}

struct MarkupCase {
  const wchar_t* text;
  std::vector<tavio_ui::TextRun> runs;
};

TEST(ColorMarkupTest, SplitsTextIntoColouredRuns) {
  const MarkupCase cases[] = {
      {L"", {}},
      {L"plain", {{L"plain", false, 0}}},
      {L"(03:07,双声道,44100Hz,<c #FF0000>64kbps</c>)",
       {{L"(03:07,双声道,44100Hz,", false, 0}, {L"64kbps", true, 0xFFFF0000}, {L")", false, 0}}},
      {L"<c #00ff00>a<c #0000FF>b</c>c</c>d",
       {{L"a", true, 0xFF00FF00}, {L"b", true, 0xFF0000FF}, {L"c", true, 0xFF00FF00},
        {L"d", false, 0}}},
      // Malformed tags are shown as written; an unclosed colour runs to the end.
      {L"<c #GG0000>x</c>", {{L"<c #GG0000>x</c>", false, 0}}},
      {L"a</c>b", {{L"a</c>b", false, 0}}},
      {L"<c #123456>tail", {{L"tail", true, 0xFF123456}}},
      {L"<b>bold?</b>", {{L"<b>bold?</b>", false, 0}}},
  };
  for (const MarkupCase& c : cases) {
    EXPECT_EQ(tavio_ui::ParseColorMarkup(c.text), c.runs)
        << QString::fromWCharArray(c.text).toStdString();
  }
}

TEST(CanvasTest, NinePatchKeepsCornersAndStretchesTheMiddle) {
  // A 6 x 6 bitmap: red 2-pixel border, green middle.
  SkBitmap source;
  ASSERT_TRUE(source.allocN32Pixels(6, 6));
  source.eraseColor(0xFFFF0000);
  for (int y = 2; y < 4; ++y)
    for (int x = 2; x < 4; ++x) source.image().setPixel(x, y, 0xFF00FF00);
  SkBitmap target;
  ASSERT_TRUE(target.allocN32Pixels(40, 20));
  {
    SkCanvas canvas(&target);
    canvas.drawBitmapNine(source, SkIRect::MakeLTRB(2, 2, 4, 4), SkRect::MakeWH(40, 20));
  }
  EXPECT_EQ(target.getColor(0, 0), 0xFFFF0000u);
  EXPECT_EQ(target.getColor(39, 19), 0xFFFF0000u);
  EXPECT_EQ(target.getColor(1, 10), 0xFFFF0000u);   // left edge keeps its width
  EXPECT_EQ(target.getColor(20, 10), 0xFF00FF00u);  // middle stretched
  EXPECT_EQ(target.getColor(3, 10), 0xFF00FF00u);   // middle starts right after the edge
}

TEST(CanvasTest, DrawsSourceRectanglesAndAtPoints) {
  SkBitmap source;
  ASSERT_TRUE(source.allocN32Pixels(4, 2));
  source.eraseColor(0xFF0000FF);
  for (int y = 0; y < 2; ++y)
    for (int x = 2; x < 4; ++x) source.image().setPixel(x, y, 0xFFFFFF00);
  SkBitmap target;
  ASSERT_TRUE(target.allocN32Pixels(20, 20));
  {
    SkCanvas canvas(&target);
    const SkIRect right = SkIRect::MakeLTRB(2, 0, 4, 2);
    canvas.drawBitmapRect(source, &right, SkRect::MakeXYWH(10, 10, 8, 8));
    canvas.drawBitmap(source, 1, 1);
  }
  EXPECT_EQ(target.getColor(14, 14), 0xFFFFFF00u);
  EXPECT_EQ(target.getColor(9, 9), 0u);
  EXPECT_EQ(target.getColor(1, 1), 0xFF0000FFu);
  EXPECT_EQ(target.getColor(4, 2), 0xFFFFFF00u);
  EXPECT_EQ(target.getColor(5, 1), 0u);
}

}  // namespace
