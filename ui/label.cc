#include "ui/label.h"

#include <QFontMetrics>
#include <QPainter>
#include <QWidget>


namespace tavio_ui {

namespace {

// Labels without an alignment of their own start at the left.
int AlignOf(const ControlStyle& style) {
  return QtAlignment(style.align.value_or(TextAlign::kLeft));
}

}  // namespace

Label::Label() { SetTransparent(true); }
Label::~Label() { *alive = false; }

void Label::SetText(const std::wstring& text) {
  Control::SetText(text);
  Refit();
}

void Label::SetTextColor(unsigned int argb) { Control::SetTextColor(argb); }

void Label::SetUnderLine(bool underline, bool onlyOnHover) {
  this->underline = underline;
  underlineOnHover = onlyOnHover;
  Invalidate(nullptr);
}

void Label::FitToText(bool fit) {
  fitToText = fit;
  Refit();
}

void Label::SetClickHandler(ClickHandler handler) {
  clickHandler = std::move(handler);
  SetClickable(static_cast<bool>(clickHandler));
  handCursor = static_cast<bool>(clickHandler);
}

void Label::FireClick() {
  ClickHandler handler = clickHandler;
  const std::shared_ptr<bool> alive = this->alive;
  Control::FireClick();  // may destroy this label
  if (*alive && handler) handler(this);
}

int Label::TextWidth() const {
  if (!widget()) return 0;
  QFont font = widget()->font();
  return QFontMetrics(font).horizontalAdvance(QString::fromStdWString(GetText()));
}

void Label::Refit() {
  if (!fitToText) return;
  const Insets pad = GetStyle().padding;
  const CRect pos = GetPos();
  const CRect fitted(pos.left, pos.top, pos.left + TextWidth() + pad.width() + 1, pos.bottom);
  if (fitted != pos) SetPos(&fitted);
}

CSize Label::GetPreferredSize() {
  const Insets pad = GetStyle().padding;
  const int height = widget() ? QFontMetrics(widget()->font()).height() : 0;
  return CSize(TextWidth() + pad.width() + 1, height + pad.height());
}

void Label::DoSkinChanged(bool changed, SkinItem* item) {
  Control::DoSkinChanged(changed, item);
  Refit();
}

void Label::DoPaint(SkCanvas* canvas) {
  Control::DoPaint(canvas);
  const std::wstring& text = GetText();
  if (text.empty()) return;
  QPainter* p = canvas->painter();
  const QRect rect = BeginTextPaint(p);
  p->setPen(QColor::fromRgba(EffectiveTextColor()));
  p->drawText(rect, AlignOf(GetStyle()) | Qt::AlignVCenter | Qt::TextSingleLine,
              QString::fromStdWString(text));
  p->restore();
}

QRect Label::BeginTextPaint(QPainter* painter) {
  CRect rect = GetClientRect();
  const Insets pad = GetStyle().padding;
  rect.DeflateRect(pad.left(), pad.top(), pad.right(), pad.bottom());
  painter->save();
  QFont font = painter->font();
  font.setUnderline(underline && (!underlineOnHover || IsHovered()));
  painter->setFont(font);
  return QRect(rect.left, rect.top, rect.Width(), rect.Height());
}

const wchar_t* Label::GetClass() const { return L"Label"; }

bool Label::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"Label", name, out) || Control::AsClass(name, out);
}

std::vector<TextRun> ParseColorMarkup(const std::wstring& text) {
  std::vector<TextRun> runs;
  std::vector<SkColor> colors;
  std::wstring pending;
  auto flush = [&] {
    if (pending.empty()) return;
    TextRun run{pending, !colors.empty(), colors.empty() ? 0u : colors.back()};
    if (!runs.empty() && runs.back().hasColor == run.hasColor && runs.back().color == run.color) {
      runs.back().text += run.text;
    } else {
      runs.push_back(std::move(run));
    }
    pending.clear();
  };
  auto isHex = [](wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
  };
  size_t i = 0;
  while (i < text.size()) {
    // "<c #RRGGBB>" opens a colour.
    if (text.compare(i, 4, L"<c #") == 0 && i + 11 <= text.size() && text[i + 10] == L'>') {
      bool hex = true;
      for (size_t k = i + 4; k < i + 10; ++k) hex = hex && isHex(text[k]);
      if (hex) {
        flush();
        colors.push_back(0xFF000000u | static_cast<SkColor>(
                                           std::stoul(text.substr(i + 4, 6), nullptr, 16)));
        i += 11;
        continue;
      }
    }
    // "</c>" closes the innermost colour; a stray one is shown as written.
    if (text.compare(i, 4, L"</c>") == 0 && !colors.empty()) {
      flush();
      colors.pop_back();
      i += 4;
      continue;
    }
    pending += text[i++];
  }
  flush();
  return runs;
}

HtmlLabel::HtmlLabel() = default;
HtmlLabel::~HtmlLabel() = default;

void HtmlLabel::SetText(const std::wstring& text) {
  runs = ParseColorMarkup(text);
  Label::SetText(text);
}

std::wstring HtmlLabel::AccessibleText() const {
  // What the user reads, without the markup.
  std::wstring plain;
  for (const TextRun& run : runs) plain += run.text;
  return plain;
}

int HtmlLabel::TextWidth() const {
  if (!widget()) return 0;
  const QFontMetrics metrics(widget()->font());
  int width = 0;
  for (const TextRun& run : runs) width += metrics.horizontalAdvance(QString::fromStdWString(run.text));
  return width;
}

void HtmlLabel::DoPaint(SkCanvas* canvas) {
  Control::DoPaint(canvas);
  if (runs.empty()) return;
  QPainter* p = canvas->painter();
  const QRect rect = BeginTextPaint(p);
  const QFontMetrics metrics(p->font());
  const int total = TextWidth();
  const int align = AlignOf(GetStyle());
  int x = rect.left();
  if (align == Qt::AlignHCenter) x = rect.left() + (rect.width() - total) / 2;
  if (align == Qt::AlignRight) x = rect.left() + rect.width() - total;
  const int baseline = rect.top() + (rect.height() - metrics.height()) / 2 + metrics.ascent();
  const SkColor plain = EffectiveTextColor();
  p->setClipRect(rect);
  for (const TextRun& run : runs) {
    const QString s = QString::fromStdWString(run.text);
    p->setPen(QColor::fromRgba(run.hasColor ? run.color : plain));
    p->drawText(QPoint(x, baseline), s);
    x += metrics.horizontalAdvance(s);
  }
  p->restore();
}

const wchar_t* HtmlLabel::GetClass() const { return L"HtmlLabel"; }

bool HtmlLabel::AsClass(const std::wstring& name, void** out) {
  return MatchClass(this, L"HtmlLabel", name, out) || Label::AsClass(name, out);
}

}  // namespace tavio_ui
