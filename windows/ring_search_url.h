// The address of the other-ringtones page for a song. The template comes from "optionv7.ini"
// (key "OtherRing") when set, else the built-in ring search service; its first two "%s" take the
// song's name, encoded as a query value, and the version text "2009"; "%%" gives one percent
// sign, as in printf. Nothing else of the template is read as a printf format, and an address
// the web window must not open (a file:, javascript: or unknown scheme) falls back to the
// built-in service. Any thread.
#pragma once

#include <string>

namespace ringsearch {

// The scheme of the built-in ring search service, and the host its answers are served under.
inline constexpr char kScheme[] = "sonaclip";
inline constexpr char kHost[] = "rings";
// The path of its answer page.
inline constexpr char kSearchPath[] = "/Search/Dmatch.aspx";
// The template used when the settings give none, or give one the window must not open.
inline constexpr wchar_t kDefaultTemplate[] =
    L"sonaclip://rings/Search/Dmatch.aspx?key=%s&aid=220&version=%s";
// The version text the template's second "%s" receives.
inline constexpr wchar_t kVersionText[] = L"2009";

// Fills the first "%s" with first and the second with second and turns "%%" into "%"; a third
// "%s" and every other "%" sequence stay as they are.
std::wstring FillTemplate(const std::wstring& pattern, const std::wstring& first,
                          const std::wstring& second);

// The page address for songName from the given template: the name is percent-encoded as UTF-8
// (a query value: "Rock & Roll #1" stays one key). A template whose filled address is not
// http, https or the built-in scheme gives the default template's address instead.
std::wstring RingSearchUrlFrom(const std::wstring& pattern, const std::wstring& songName);

// True for the addresses the web window may show: http, https and the built-in scheme.
bool IsAllowedAddress(const std::wstring& url);

// The song's name as the page searches for it: the file name with its last extension removed
// ("a.b.mp3" gives "a.b").
std::wstring SongNameOf(const std::wstring& songFileName);

}  // namespace ringsearch

// The page address for songName, with the template of the settings file beside the program.
std::wstring RingSearchUrl(const std::wstring& songName);
