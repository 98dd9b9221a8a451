#include "ui/file_dialog.h"

#include <set>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWindow>

#include "ui/registries.h"
#include "ui/ui_thread_checker.h"
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

// Asks the test answerer when one is set, the user otherwise.
std::vector<std::wstring> Show(FileDialogRequest* request, HWND owner, QFileDialog::FileMode mode) {
  DCHECK_CALLED_ON_VALID_THREAD(UiThreadChecker());
  request->owner = owner;
  if (FileDialogAnswerer answerer = Answerer()) return answerer(*request);
  QFileDialog dialog;
  dialog.setAcceptMode(request->save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(mode);
  Configure(dialog, *request);
  return Run(dialog, owner);
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

namespace {

FileDialogRequest MakeRequest(bool save, const wchar_t* filter, int filterIndex,
                              const std::wstring& initialPath, const std::wstring& title,
                              const std::wstring& defaultExtension) {
  FileDialogRequest request;
  request.save = save;
  request.filters = ParseWin32Filter(filter);
  request.filterIndex = filterIndex;
  request.initialPath = initialPath;
  request.title = title;
  request.defaultExtension = defaultExtension;
  return request;
}

}  // namespace

void SetFileDialogAnswererForTesting(FileDialogAnswerer answerer) {
  Answerer() = std::move(answerer);
}

OpenFileDialog::OpenFileDialog() = default;
OpenFileDialog::~OpenFileDialog() = default;

void OpenFileDialog::SetParameters(const wchar_t* filter, int filterIndex,
                                   const std::wstring& initialPath, const std::wstring& title,
                                   const std::wstring& defaultExtension) {
  request = MakeRequest(false, filter, filterIndex, initialPath, title, defaultExtension);
}

std::vector<std::wstring> OpenFileDialog::DoModal(HWND owner) {
  return Show(&request, owner, multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
}

SaveFileDialog::SaveFileDialog() = default;
SaveFileDialog::~SaveFileDialog() = default;

void SaveFileDialog::SetParameters(const wchar_t* filter, int filterIndex,
                                   const std::wstring& initialPath, const std::wstring& title,
                                   const std::wstring& defaultExtension) {
  request = MakeRequest(true, filter, filterIndex, initialPath, title, defaultExtension);
}

std::wstring SaveFileDialog::DoModal(HWND owner) {
  std::vector<std::wstring> paths = Show(&request, owner, QFileDialog::AnyFile);
  return paths.empty() ? std::wstring() : paths.front();
}

}  // namespace tavio_ui
