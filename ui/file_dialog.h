// OpenFileDialog and SaveFileDialog: modal file choosers over Qt's file dialog, taking their
// filters in the Win32 form ("description\0pattern;pattern\0...\0\0"). DoModal runs the dialog
// in a nested loop between the before-pump and after-pump hooks, with the owner window taking no
// input, and returns the chosen path(s); an empty result when cancelled. Main thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/win_types.h"

namespace tavio_ui {

struct FileFilter {
  std::wstring description;
  std::vector<std::wstring> patterns;  // "*.mp3"; "*.*" matches every file
};

// Splits a Win32 filter list (pairs ended by NUL, the list by an extra NUL). A description
// without its pattern is dropped. Null gives an empty list.
std::vector<FileFilter> ParseWin32Filter(const wchar_t* filter);

// What a dialog was asked, as handed to a test answerer.
struct FileDialogRequest {
  bool save = false;
  HWND owner = 0;
  std::vector<FileFilter> filters;
  int filterIndex = 1;
  std::wstring initialPath;
  std::wstring title;
  std::wstring defaultExtension;
};

class OpenFileDialog {
 public:
  OpenFileDialog();
  ~OpenFileDialog();
  OpenFileDialog(const OpenFileDialog&) = delete;
  OpenFileDialog& operator=(const OpenFileDialog&) = delete;

  // filterIndex counts from 1. initialPath: a folder, or a file whose folder opens with the file
  // name filled in; empty: the last folder used. title empty: the default title.
  void SetParameters(const wchar_t* filter, int filterIndex, const std::wstring& initialPath,
                     const std::wstring& title, const std::wstring& defaultExtension = L"");
  void SetMultiSelect(bool multi) { multiSelect = multi; }
  // The chosen files, empty when cancelled.
  std::vector<std::wstring> DoModal(HWND owner);

 private:
  FileDialogRequest request;
  bool multiSelect = false;
};

class SaveFileDialog {
 public:
  SaveFileDialog();
  ~SaveFileDialog();
  SaveFileDialog(const SaveFileDialog&) = delete;
  SaveFileDialog& operator=(const SaveFileDialog&) = delete;

  // As for OpenFileDialog; defaultExtension ("mp3", no dot) is appended when the typed name has
  // no extension.
  void SetParameters(const wchar_t* filter, int filterIndex, const std::wstring& initialPath,
                     const std::wstring& title, const std::wstring& defaultExtension = L"");
  // The chosen path, empty when cancelled.
  std::wstring DoModal(HWND owner);

 private:
  FileDialogRequest request;
};

// Tests of the program's windows answer dialogs through this instead of the screen: while set,
// DoModal shows nothing and returns what the answerer gives. Pass nullptr to restore.
using FileDialogAnswerer = std::function<std::vector<std::wstring>(const FileDialogRequest&)>;
void SetFileDialogAnswererForTesting(FileDialogAnswerer answerer);

}  // namespace tavio_ui
