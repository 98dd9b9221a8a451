#include "ui/drag_drop.h"

#include <algorithm>
#include <cwchar>
#include <map>
#include <vector>

#include "ui/messages.h"
#include "ui/registries.h"
#include "ui/window.h"

namespace tavio_ui {

namespace {

struct Drop {
  HWND hwnd = 0;
  std::vector<std::wstring> paths;
};

std::map<HDROP, Drop>& Drops() {
  static std::map<HDROP, Drop> drops;
  return drops;
}

HDROP g_nextDrop = 0xD000;

const Drop* FindDrop(HDROP drop) {
  auto it = Drops().find(drop);
  return it == Drops().end() ? nullptr : &it->second;
}

}  // namespace

void ReleaseDropsOf(HWND hwnd) {
  for (auto it = Drops().begin(); it != Drops().end();) {
    it = it->second.hwnd == hwnd ? Drops().erase(it) : std::next(it);
  }
}

void WindowContainer::OnNativeDrop(const std::vector<std::wstring>& paths, POINT at) {
  if (!hwnd || !acceptFiles || paths.empty()) return;
  const HDROP drop = g_nextDrop++;
  Drops()[drop] = Drop{hwnd, paths};
  if (!PostMessage(hwnd, WM_DROPFILES, static_cast<WPARAM>(drop), 0)) Drops().erase(drop);
}

void DragAcceptFiles(HWND hwnd, BOOL accept) {
  if (WindowContainer* window = WindowContainer::FromHWND(hwnd)) {
    window->DragAcceptFiles(accept != 0);
  }
}

UINT DragQueryFileW(HDROP drop, UINT index, wchar_t* buffer, UINT size) {
  const Drop* d = FindDrop(drop);
  if (!d) return 0;
  if (index == 0xFFFFFFFFu) return static_cast<UINT>(d->paths.size());
  if (index >= d->paths.size()) return 0;
  const std::wstring& path = d->paths[index];
  if (!buffer) return static_cast<UINT>(path.size());
  if (size == 0) return 0;
  const size_t n = std::min<size_t>(path.size(), size - 1);
  std::wmemcpy(buffer, path.data(), n);
  buffer[n] = L'\0';
  return static_cast<UINT>(n);
}

std::wstring DragQueryFile(HDROP drop, UINT index) {
  const Drop* d = FindDrop(drop);
  if (!d || index >= d->paths.size()) return std::wstring();
  return d->paths[index];
}

void DragFinish(HDROP drop) { Drops().erase(drop); }

}  // namespace tavio_ui
