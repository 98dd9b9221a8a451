#include "windows/ring_search_url.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include "base/strings.h"
#include "config/profile.h"

namespace ringsearch {

std::wstring FillTemplate(const std::wstring& pattern, const std::wstring& first,
                          const std::wstring& second) {
  std::wstring out;
  out.reserve(pattern.size() + first.size() + second.size());
  int filled = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const wchar_t c = pattern[i];
    if (c == L'%' && i + 1 < pattern.size()) {
      const wchar_t next = pattern[i + 1];
      if (next == L's' && filled < 2) {
        out += filled++ == 0 ? first : second;
        ++i;
        continue;
      }
      if (next == L'%') {
        // One percent sign, as printf writes it; "%%s" is a percent sign and an s, not a
        // placeholder.
        out += L'%';
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

bool IsAllowedAddress(const std::wstring& url) {
  const QUrl address(QString::fromStdWString(url), QUrl::TolerantMode);
  if (!address.isValid()) return false;
  const QString scheme = address.scheme();
  if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
    return !address.host().isEmpty();
  }
  return scheme == QLatin1String(kScheme) && address.host() == QLatin1String(kHost);
}

std::wstring RingSearchUrlFrom(const std::wstring& pattern, const std::wstring& songName) {
  const QByteArray key = QUrl::toPercentEncoding(QString::fromStdWString(songName));
  const std::wstring encoded = QString::fromLatin1(key).toStdWString();
  std::wstring url = FillTemplate(pattern, encoded, kVersionText);
  if (!IsAllowedAddress(url)) url = FillTemplate(kDefaultTemplate, encoded, kVersionText);
  return url;
}

std::wstring SongNameOf(const std::wstring& songFileName) {
  return base::WithoutExtension(songFileName);
}

}  // namespace ringsearch

std::wstring RingSearchUrl(const std::wstring& songName) {
  std::wstring pattern = config::ReadOtherRingTemplate();
  if (pattern.empty()) pattern = ringsearch::kDefaultTemplate;
  return ringsearch::RingSearchUrlFrom(pattern, songName);
}
