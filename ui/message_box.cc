#include "ui/message_box.h"

#include <QMessageBox>
#include <QWindow>

#include "ui/registries.h"
#include "ui/ui_thread_checker.h"
#include "ui/window.h"

namespace tavio_ui {

namespace {

std::function<int(const MessageBoxRequest&)>& Answerer() {
  static std::function<int(const MessageBoxRequest&)> answerer;
  return answerer;
}

QMessageBox::Icon IconOf(UINT type) {
  switch (type & 0xF0) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONWARNING: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

void SetMessageBoxAnswererForTesting(std::function<int(const MessageBoxRequest&)> answerer) {
  Answerer() = std::move(answerer);
}

int MessageBoxW(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
  DCHECK_CALLED_ON_VALID_THREAD(UiThreadChecker());
  MessageBoxRequest request{owner, text ? text : L"", caption ? caption : L"", type};
  if (auto answerer = Answerer()) return answerer(request);

  QMessageBox box;
  box.setIcon(IconOf(type));
  box.setWindowTitle(QString::fromStdWString(request.caption));
  box.setText(QString::fromStdWString(request.text));
  box.setWindowModality(Qt::ApplicationModal);
  QMessageBox::StandardButton escape = QMessageBox::Ok;
  switch (type & 0x0F) {
    case MB_OKCANCEL:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      escape = QMessageBox::Cancel;
      break;
    case MB_YESNOCANCEL:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      escape = QMessageBox::Cancel;
      break;
    case MB_YESNO:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      escape = QMessageBox::No;
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  box.setEscapeButton(escape);
  if (WindowContainer* w = WindowContainer::FromHWND(owner); w && w->widget()) {
    box.winId();
    if (box.windowHandle() && w->widget()->windowHandle()) {
      box.windowHandle()->setTransientParent(w->widget()->windowHandle());
    }
  }
  RunNestedPump([&box] { return box.exec(); }, [&box, escape] { box.done(escape); });
  switch (box.result()) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDCANCEL;
  }
}

}  // namespace tavio_ui
