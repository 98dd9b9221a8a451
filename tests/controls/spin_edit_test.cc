// The spin edit as the user drives it: clicks on its real buttons, typing into its field, and
// what the field then shows.

#include <string>
#include <vector>

#include <QAccessible>
#include <QJsonArray>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "controls/spin_edit_foloat.h"
#include "tests/support/test_skin.h"

namespace tavio_ui {
namespace {

using testsupport::TestSkin;

class SpinEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    skin.AddSvgBox("up.svg", 12, 10, "#3050a0");
    skin.AddSvgBox("down.svg", 12, 10, "#a05030");
    ASSERT_TRUE(skin.Load(QJsonObject{
        {"entries",
         QJsonObject{{"Spin", QJsonObject{{"rect", QJsonArray{0, 0, 80, 24}}}},
                     {"_0", QJsonObject{{"images", QJsonObject{{"normal", "up.svg"}}}}},
                     {"_1", QJsonObject{{"images", QJsonObject{{"normal", "down.svg"}}}}}}}}));
    edit = std::make_unique<SpinEditFoloat>();
    edit->SetName(L"Spin");
    edit->SetValueChangedHandler([this](Control* sender) {
      EXPECT_EQ(sender, edit.get());
      // The callback sees the stepped value already shown.
      seen.push_back(edit->GetText());
    });
    edit->widget()->show();
    QApplication::processEvents();
  }

  void ClickUp() { QTest::mouseClick(edit->upButtonForTesting()->widget(), Qt::LeftButton); }
  void ClickDown() { QTest::mouseClick(edit->downButtonForTesting()->widget(), Qt::LeftButton); }

  TestSkin skin;
  std::unique_ptr<SpinEditFoloat> edit;
  std::vector<std::wstring> seen;
};

TEST_F(SpinEditTest, StepsStopAtTheBoundsButEveryClickIsReported) {
  edit->SetRange(0, 59999);
  edit->SetStep(100);
  edit->SetValue(59900);
  EXPECT_EQ(edit->GetText(), L"59.9");

  ClickUp();
  EXPECT_EQ(edit->GetValue(), 59999);
  ClickUp();
  EXPECT_EQ(edit->GetValue(), 59999);
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"59.9", L"59.9"}));

  edit->SetValue(100);
  ClickDown();
  ClickDown();
  EXPECT_EQ(edit->GetValue(), 0);
  EXPECT_EQ(edit->GetText(), L"00.0");
  EXPECT_EQ(seen.size(), 4u);

  // A field whose range is still the locked 0..0 of a window without a song.
  edit->SetRange(0, 0);
  ClickUp();
  EXPECT_EQ(edit->GetValue(), 0);
  EXPECT_EQ(seen.size(), 5u);
}

TEST_F(SpinEditTest, ShowsWholeNumbersWithTwoDigitsAtLeast) {
  edit->SetShowTenths(false);
  edit->SetValue(5);
  EXPECT_EQ(edit->GetText(), L"05");
  edit->SetValue(123);
  EXPECT_EQ(edit->GetText(), L"123");
  EXPECT_EQ(edit->lineEdit()->text(), QStringLiteral("123"));

  // The display switch waits for the next update of the text.
  edit->SetShowTenths(true);
  EXPECT_EQ(edit->GetText(), L"123");
  ClickUp();
  EXPECT_EQ(edit->GetText(), L"00.1");
}

TEST_F(SpinEditTest, RangeAppliesAtTheNextSetOrClick) {
  edit->SetShowTenths(false);
  edit->SetValue(50);
  edit->SetRange(0, 10);
  EXPECT_EQ(edit->GetValue(), 50);
  EXPECT_EQ(edit->GetText(), L"50");
  edit->SetValue(50);
  EXPECT_EQ(edit->GetValue(), 10);
  EXPECT_TRUE(seen.empty());  // SetValue reports nothing

  edit->SetValue(-3);
  EXPECT_EQ(edit->GetValue(), 0);
  edit->SetRange(0, 10);
  edit->SetValue(7);
  edit->SetRange(0, 5);
  ClickDown();  // 7 - 1 = 6, capped at 5
  EXPECT_EQ(edit->GetValue(), 5);

  // The bounds a new field starts with are the widest there are; a step never wraps.
  auto fresh = std::make_unique<SpinEditFoloat>();
  fresh->SetShowTenths(false);
  fresh->SetStep(1000);
  fresh->SetValue(INT_MAX - 10);
  fresh->widget()->show();
  QTest::mouseClick(fresh->upButtonForTesting()->widget(), Qt::LeftButton);
  EXPECT_EQ(fresh->GetValue(), INT_MAX);
}

TEST_F(SpinEditTest, AClickSelectsTheWholeTextAndTypingChangesNothing) {
  edit->SetShowTenths(false);
  edit->SetRange(0, 100);
  edit->SetValue(42);
  ClickUp();
  int start = -1, end = -1;
  edit->GetSelection(&start, &end);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 2);
  EXPECT_EQ(edit->lineEdit()->selectedText(), QStringLiteral("43"));

  edit->lineEdit()->setFocus();
  QTest::keyClicks(edit->lineEdit(), "9");
  QTest::keyClick(edit->lineEdit(), Qt::Key_Backspace);
  QTest::keyClick(edit->lineEdit(), Qt::Key_Delete);
  EXPECT_EQ(edit->GetText(), L"43");
  EXPECT_EQ(edit->GetValue(), 43);
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(SpinEditTest, ButtonsSitAtTheRightEdgeAndTheTextStaysClearOfThem) {
  // 80 x 24 with 12 x 10 buttons: centred, one pixel from the right, overlapping by one row.
  EXPECT_EQ(edit->upButtonForTesting()->GetPos(), CRect(67, 2, 79, 12));
  EXPECT_EQ(edit->downButtonForTesting()->GetPos(), CRect(67, 11, 79, 21));
  EXPECT_GE(edit->GetInsets().right(), 13);
  EXPECT_LE(edit->lineEdit()->geometry().right(), 67);

  const CRect taller(10, 10, 110, 50);
  edit->SetPos(&taller);
  EXPECT_EQ(edit->upButtonForTesting()->GetPos(), CRect(87, 10, 99, 20));
  EXPECT_EQ(edit->downButtonForTesting()->GetPos(), CRect(87, 19, 99, 29));
}

TEST_F(SpinEditTest, ClassNames) {
  void* out = nullptr;
  EXPECT_TRUE(edit->AsClass(L"SpinEdit", &out));
  EXPECT_EQ(out, edit.get());
  EXPECT_TRUE(edit->AsClass(L"RichEdit", nullptr));
  EXPECT_STREQ(edit->upButtonForTesting()->GetClass(), L"SpinEditUpButton");
  EXPECT_STREQ(edit->downButtonForTesting()->GetClass(), L"SpinEditDownButton");
  EXPECT_TRUE(edit->downButtonForTesting()->AsClass(L"SpinEditDownButton", nullptr));
  EXPECT_FALSE(edit->downButtonForTesting()->AsClass(L"SpinEditUpButton", nullptr));
  EXPECT_TRUE(edit->upButtonForTesting()->AsClass(L"Button", nullptr));
}

// Up and Down in the focused field are its buttons; a screen reader sees a spin button whose
// value is in the unit shown, and setting it reports like a click.
TEST_F(SpinEditTest, KeysAndAReaderStepAndSetTheValueAsTheButtonsDo) {
  edit->SetRange(0, 59999);
  edit->SetStep(100);
  edit->SetValue(1000);
  edit->lineEdit()->setFocus();
  QTest::keyClick(edit->lineEdit(), Qt::Key_Up);
  QTest::keyClick(edit->lineEdit(), Qt::Key_Up);
  QTest::keyClick(edit->lineEdit(), Qt::Key_Down);
  EXPECT_EQ(edit->GetValue(), 1100);
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"01.1", L"01.2", L"01.1"}));

  QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(edit->widget());
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->role(), QAccessible::SpinBox);
  QAccessibleValueInterface* value = reader->valueInterface();
  ASSERT_NE(value, nullptr);
  EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 1.1);
  EXPECT_DOUBLE_EQ(value->maximumValue().toDouble(), 59.999);
  EXPECT_DOUBLE_EQ(value->minimumStepSize().toDouble(), 0.1);
  value->setCurrentValue(12.3);
  EXPECT_EQ(edit->GetValue(), 12300);
  EXPECT_EQ(seen.back(), L"12.3");
  value->setCurrentValue(99.0);
  EXPECT_EQ(edit->GetValue(), 59999);

  edit->SetShowTenths(false);
  edit->SetRange(0, 3);
  edit->SetValue(2);
  EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 2.0);
  EXPECT_EQ(reader->text(QAccessible::Value), QString("02"));
}

}  // namespace
}  // namespace tavio_ui
