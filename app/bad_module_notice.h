// The bad-module notice: a crash inside one of a few known troublesome modules of other vendors
// tells the user which product to update. The table, its matching rule and the notice text;
// shown by the crash helper process, never by the crashed one.
#pragma once

#include <string>
#include <string_view>

namespace crash {

struct BadModule {
  const wchar_t* pattern;    // as the table writes it, e.g. "PycHookDll.dll"
  const wchar_t* shownName;  // the notice's caption, e.g. "鹏保宝"
};

// The first row, in table order, that the module name matches, or null. A pattern without a "."
// matches a name that contains it; otherwise the name must contain the part before the first "."
// and also the part from that "." on. Letter case is ignored in both tests.
const BadModule* FindBadModule(std::wstring_view moduleName);

// "您目前使用的<shown>模块为[<module>].\r\n..." for that row and module.
std::wstring BadModuleNoticeText(const BadModule& row, std::wstring_view moduleName);

}  // namespace crash
