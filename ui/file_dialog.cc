#include "ui/file_dialog.h"

#include <set>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWindow>

#include "ui/control_widget.h"
#include "ui/window.h"

namespace tavio_ui {

namespace {

FileDialogAnswerer& Answerer() {
  static FileDialogAnswerer answerer;
  return answerer;
}

// One Qt name filter: the description as written, then the patterns Qt matches. Patterns are
// given in both letter cases, since Linux file names are case-sensitive and the lists name
// "*.MP3" for "song.mp3"; "*.*" means every file, dotted or not.
QString QtFilter(const FileFilter& filter) {
  QStringList patterns;
  std::set<QString> seen;
  for (const std::wstring& p : filter.patterns) {
    QString q = QString::fromStdWString(p).trimmed();
    if (q.isEmpty()) continue;
    if (q == "*.*") q = "*";
    for (const QString& variant : {q, q.toLower(), q.toUpper()}) {
      if (seen.insert(variant).second) patterns << variant;
    }
  }
  return QString::fromStdWString(filter.description) + " (" + patterns.join(' ') + ")";
}

void Configure(QFileDialog& dialog, const FileDialogRequest& request) {
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  QStringList filters;
  for (const FileFilter& f : request.filters) filters << QtFilter(f);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int index = request.filterIndex - 1;
    dialog.selectNameFilter(filters[index >= 0 && index < filters.size() ? index : 0]);
  }
  if (!request.title.empty()) dialog.setWindowTitle(QString::fromStdWString(request.title));
  if (!request.defaultExtension.empty()) {
    QString ext = QString::fromStdWString(request.defaultExtension);
    while (ext.startsWith('.')) ext.remove(0, 1);
    dialog.setDefaultSuffix(ext);
  }
  if (!request.initialPath.empty()) {
    // Paths joined the Windows way ("folder\\name") still point where they were meant to.
    const QString path = QDir::fromNativeSeparators(
        QString::fromStdWString(request.initialPath).replace('\\', '/'));
    const QFileInfo info(path);
    if (info.isDir()) {
      dialog.setDirectory(path);
    } else {
      dialog.setDirectory(info.absolutePath());
      dialog.selectFile(info.fileName());
    }
  }
}

std::vector<std::wstring> Run(QFileDialog& dialog, HWND owner) {
  dialog.setWindowModality(Qt::ApplicationModal);
  if (WindowContainer* w = WindowContainer::FromHWND(owner); w && w->widget()) {
    dialog.winId();
    if (dialog.windowHandle() && w->widget()->windowHandle()) {
      dialog.windowHandle()->setTransientParent(w->widget()->windowHandle());
    }
  }
  const int result = RunNestedPump([&dialog] { return dialog.exec(); }, [&dialog] { dialog.reject(); });
  std::vector<std::wstring> paths;
  if (result != QDialog::Accepted) return paths;
  for (const QString& f : dialog.selectedFiles()) {
    if (!f.isEmpty()) paths.push_back(QDir::toNativeSeparators(f).toStdWString());
  }
  return paths;
}

}  // namespace

std::vector<FileFilter> ParseWin32Filter(const wchar_t* filter) {
  std::vector<FileFilter> filters;
  if (!filter) return filters;
  const wchar_t* p = filter;
  while (*p) {
    std::wstring description(p);
    p += description.size() + 1;
    if (!*p) break;  // a description without its pattern list
    std::wstring patterns(p);
    p += patterns.size() + 1;
    FileFilter f;
    f.description = std::move(description);
    size_t start = 0;
    while (start <= patterns.size()) {
      size_t end = patterns.find(L';', start);
      if (end == std::wstring::npos) end = patterns.size();
      if (end > start) f.patterns.push_back(patterns.substr(start, end - start));
      start = end + 1;
    }
    filters.push_back(std::move(f));
  }
  return filters;
}

void SetFileDialogAnswererForTesting(FileDialogAnswerer answerer) {
  Answerer() = std::move(answerer);
}

OpenFileDialog::OpenFileDialog() = default;
OpenFileDialog::~OpenFileDialog() = default;

void OpenFileDialog::SetParameters(const wchar_t* filter, int filterIndex,
                                   const std::wstring& initialPath, const std::wstring& title,
                                   const std::wstring& defaultExtension) {
  request_.save = false;
  request_.filters = ParseWin32Filter(filter);
  request_.filterIndex = filterIndex;
  request_.initialPath = initialPath;
  request_.title = title;
  request_.defaultExtension = defaultExtension;
}

std::vector<std::wstring> OpenFileDialog::DoModal(HWND owner) {
  request_.owner = owner;
  if (FileDialogAnswerer answerer = Answerer()) return answerer(request_);
  QFileDialog dialog;
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(multiSelect_ ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  Configure(dialog, request_);
  return Run(dialog, owner);
}

SaveFileDialog::SaveFileDialog() = default;
SaveFileDialog::~SaveFileDialog() = default;

void SaveFileDialog::SetParameters(const wchar_t* filter, int filterIndex,
                                   const std::wstring& initialPath, const std::wstring& title,
                                   const std::wstring& defaultExtension) {
  request_.save = true;
  request_.filters = ParseWin32Filter(filter);
  request_.filterIndex = filterIndex;
  request_.initialPath = initialPath;
  request_.title = title;
  request_.defaultExtension = defaultExtension;
}

std::wstring SaveFileDialog::DoModal(HWND owner) {
  request_.owner = owner;
  if (FileDialogAnswerer answerer = Answerer()) {
    std::vector<std::wstring> paths = answerer(request_);
    return paths.empty() ? std::wstring() : paths.front();
  }
  QFileDialog dialog;
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  Configure(dialog, request_);
  std::vector<std::wstring> paths = Run(dialog, owner);
  return paths.empty() ? std::wstring() : paths.front();
}

}  // namespace tavio_ui
