#include "app/bad_module_notice.h"

#include <boost/format.hpp>
#include <cwctype>

namespace crash {
namespace {

constexpr BadModule kBadModules[] = {
    {L"flash.ocx", L"adobe flash"},
    {L"mshtml.dll", L"微软浏览器"},
    {L"urlmon.dll", L"微软浏览器"},
    {L"pngfilt.dll", L"微软浏览器"},
    {L"hookaudio.dll", L"YY语音"},
    {L"PycHookDll.dll", L"鹏保宝"},
    {L"DllInject.dll", L"百度杀毒"},
};

std::wstring Lower(std::wstring_view text) {
  std::wstring lower(text);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return lower;
}

bool Contains(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

}  // namespace

const BadModule* FindBadModule(std::wstring_view moduleName) {
  const std::wstring name = Lower(moduleName);
  for (const BadModule& row : kBadModules) {
    const std::wstring pattern = Lower(row.pattern);
    const size_t dot = pattern.find(L'.');
    const bool matches = dot == std::wstring::npos
                             ? Contains(name, pattern)
                             : Contains(name, pattern.substr(0, dot)) &&
                                   Contains(name, pattern.substr(dot));
    if (matches) return &row;
  }
  return nullptr;
}

std::wstring BadModuleNoticeText(const BadModule& row, std::wstring_view moduleName) {
  return (boost::wformat(L"您目前使用的%s模块为[%s].\r\n它可能存在一些问题导致Tavio音乐退出。\r\n"
                         L"您可以把%s更新到最新版本后再使用Tavio音乐") %
          row.shownName % std::wstring(moduleName) % row.shownName)
      .str();
}

}  // namespace crash
