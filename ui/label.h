// Label: one line of text in the skin's font and colour; HtmlLabel adds colour markup. A label
// with a click handler acts as a link (hand cursor, clicks on the main thread). Main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/control.h"

class QPainter;
class QRect;

namespace tavio_ui {

class Label : public Control {
 public:
  Label();
  ~Label() override;

  void SetText(const std::wstring& text) override;
  void SetTextColor(unsigned int argb) override;
  // Underlines the text; with onlyOnHover the line shows only while the mouse is over it.
  void SetUnderLine(bool underline, bool onlyOnHover);
  // When on, the label's width follows its text (left edge kept).
  void FitToText(bool fit);
  // Called with the label when it is clicked. Also makes it show the hand cursor.
  void SetClickHandler(ClickHandler handler);

  CSize GetPreferredSize() override;
  void DoPaint(SkCanvas* canvas) override;
  void DoSkinChanged(bool changed, SkinItem* item) override;
  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;

 protected:
  void FireClick() override;
  // Width of the text in the label's font, in pixels.
  virtual int TextWidth() const;
  void Refit();
  // Starts painting the text: saves the painter, gives it the label's font (underlined as asked)
  // and returns the client rectangle less the skin's padding. The caller restores the painter.
  QRect BeginTextPaint(QPainter* painter);
  bool underline = false;
  bool underlineOnHover = false;
  bool fitToText = false;

 private:
  ClickHandler clickHandler;
  // Cleared by the destructor, so that a click callback that destroys the label is noticed.
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

// One run of text in one colour.
struct TextRun {
  std::wstring text;
  bool hasColor = false;
  SkColor color = 0;  // opaque ARGB when hasColor
  bool operator==(const TextRun&) const = default;
};

// Splits marked-up text into runs. "<c #RRGGBB>...</c>" colours its content (tags may nest); any
// other text, including malformed or unknown tags, is shown as written.
std::vector<TextRun> ParseColorMarkup(const std::wstring& text);

class HtmlLabel : public Label {
 public:
  HtmlLabel();
  ~HtmlLabel() override;

  void SetText(const std::wstring& text) override;
  void DoPaint(SkCanvas* canvas) override;
  const wchar_t* GetClass() const override;
  bool AsClass(const std::wstring& name, void** out) override;

 protected:
  int TextWidth() const override;
  std::wstring AccessibleText() const override;

 private:
  std::vector<TextRun> runs;
};

}  // namespace tavio_ui
