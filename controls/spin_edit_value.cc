#include "controls/spin_edit_value.h"

#include <cwchar>

namespace tavio_ui {

int BoundSpinValue(std::int64_t v, int minimum, int maximum) {
  if (v > maximum) v = maximum;
  if (v < minimum) v = minimum;
  return static_cast<int>(v);
}

std::wstring FormatSpinValue(int v, bool showTenths) {
  wchar_t buffer[260];
  if (!showTenths) {
    std::swprintf(buffer, 260, L"%02d", v);
    return buffer;
  }
  // Sign and magnitude apart, so a negative time reads "-01.5" rather than "-1.-5".
  const std::int64_t magnitude = v < 0 ? -static_cast<std::int64_t>(v) : v;
  std::swprintf(buffer, 260, L"%ls%02lld.%lld", v < 0 ? L"-" : L"",
                static_cast<long long>(magnitude / 1000),
                static_cast<long long>(magnitude / 100 % 10));
  return buffer;
}

}  // namespace tavio_ui
