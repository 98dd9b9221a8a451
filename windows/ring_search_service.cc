#include "windows/ring_search_service.h"

#include <QBuffer>
#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QUrl>
#include <QUrlQuery>
#include <cstdio>
#include <memory>

#include "windows/ring_search_url.h"

namespace ringsearch {
namespace {

namespace fs = std::filesystem;

constexpr char kRingPathPrefix[] = "/Ring/";

// The skin's colours: the window's pale blue ground, its accent blue and the text blue.
constexpr char kPageStyle[] = R"(<style>
body{margin:0;padding:16px 22px;background:#EEF4FA;color:#2A6FA8;
 font-family:"WenQuanYi Micro Hei",sans-serif;font-size:13px}
h1{font-size:16px;margin:0 0 4px 0}
p.note{color:#416C8F;margin:0 0 14px 0}
ul{list-style:none;margin:0;padding:0}
li{background:#FFFFFF;border:1px solid #D3E2F0;border-left:4px solid #2B93E6;border-radius:4px;
 padding:8px 12px;margin:0 0 8px 0}
.name{font-weight:bold;font-size:14px;word-break:break-all}
.facts{color:#416C8F;margin:3px 0 6px 0}
audio{width:100%;height:32px}
.none{background:#FFFFFF;border:1px solid #D3E2F0;border-radius:4px;padding:18px;color:#416C8F}
</style>)";

std::string Escape(const QString& text) {
  return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;")).toStdString();
}

std::string Escape(const std::wstring& text) { return Escape(QString::fromStdWString(text)); }

std::string PageStart(const char* title) {
  return std::string("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                     "<title>") +
         title + "</title>" + kPageStyle + "</head><body>\n";
}

// Whole seconds as minutes and seconds, three digits of minutes from 100 minutes on.
std::string LengthText(std::int64_t ms) {
  if (ms < 0) return "--:--";
  const std::int64_t seconds = ms / 1000;
  char text[32];
  std::snprintf(text, sizeof(text), seconds >= 6000 ? "%.3lld:%.2lld" : "%.2lld:%.2lld",
                static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
  return text;
}

QByteArray MimeTypeOf(const std::wstring& format) {
  if (format == L"WAV") return "audio/wav";
  if (format == L"OGG") return "audio/ogg";
  if (format == L"M4R" || format == L"M4A") return "audio/mp4";
  return "audio/mpeg";
}

std::string SizeText(std::uintmax_t bytes) {
  return std::to_string((bytes + 1023) / 1024) + "KB";
}

std::string TimeText(std::int64_t secondsSinceEpoch) {
  return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch)
      .toString(QStringLiteral("yyyy-MM-dd HH:mm"))
      .toStdString();
}

}  // namespace

std::string RingSearchPage(const std::wstring& key, const std::vector<RingFile>& rings,
                           const std::vector<std::string>& ringAddresses,
                           const std::vector<fs::path>& folders) {
  std::string page = PageStart("Tavio手机彩铃");
  const std::string shownKey = Escape(key);
  if (rings.empty()) {
    page += "<h1>没有找到铃声</h1>\n<div class=\"none\" id=\"none\">没有找到名字含有“" + shownKey +
            "”的铃声。<br>用Tavio铃声制作专家保存的铃声会在这里列出。";
    if (!folders.empty()) {
      page += "<br>查找的文件夹：";
      for (size_t i = 0; i < folders.size(); ++i) {
        page += (i ? "、" : "") + Escape(QString::fromStdString(folders[i].string()));
      }
    } else {
      page += "<br>还没有“Ring”铃声文件夹。";
    }
    page += "</div>\n</body></html>\n";
    return page;
  }
  page += "<h1>“" + shownKey + "”的铃声</h1>\n<p class=\"note\">找到 " +
          std::to_string(rings.size()) + " 首铃声，最新的在前。点播放键试听。</p>\n<ul>\n";
  for (size_t i = 0; i < rings.size(); ++i) {
    const RingFile& ring = rings[i];
    page += "<li><div class=\"name\">" + Escape(ring.name) + "</div><div class=\"facts\">时长 " +
            LengthText(ring.lengthMs) + " · 大小 " + SizeText(ring.bytes) + " · 格式 " +
            Escape(ring.format) + " · " + TimeText(ring.modifiedSeconds) +
            "</div><audio controls preload=\"metadata\" data-type=\"" +
            MimeTypeOf(ring.format).toStdString() + "\" src=\"" + ringAddresses[i] +
            "\"></audio></li>\n";
  }
  // A format this engine cannot play (AAC, where it was built without it) says so instead of
  // showing a player that never starts.
  page += "</ul>\n<script>for (const a of document.querySelectorAll('audio[data-type]'))"
          "if (!a.canPlayType(a.dataset.type)) a.outerHTML = "
          "'<p class=\"facts cannot\">这种格式不能在页面里试听。</p>';</script>\n</body></html>\n";
  return page;
}

std::string UnreachablePage() {
  return PageStart("Tavio手机彩铃") +
         "<h1>无法连接铃声服务</h1>\n<div class=\"none\" id=\"unreachable\">"
         "铃声页面打不开，服务现在无法访问。请检查网络连接，稍后再试。</div>\n</body></html>\n";
}

RingSearchService& RingSearchService::Instance() {
  static RingSearchService service;
  return service;
}

bool RingSearchService::MayShow(const QUrl& address) {
  return IsAllowedAddress(address.toString().toStdWString());
}

bool RingSearchService::Answer(const QUrl& address, QByteArray* type, QIODevice** body) {
  *body = nullptr;
  if (address.scheme() != QLatin1String(kScheme) || address.host() != QLatin1String(kHost))
    return false;
  const QString path = address.path();
  if (path.compare(QLatin1String(kSearchPath), Qt::CaseInsensitive) == 0) {
    const QUrlQuery query(address);
    *type = "text/html";
    *body = AnswerSearch(
        query.queryItemValue(QStringLiteral("key"), QUrl::FullyDecoded).toStdWString());
  } else if (path.startsWith(QLatin1String(kRingPathPrefix))) {
    *body = AnswerRing(path.mid(static_cast<int>(sizeof(kRingPathPrefix)) - 1).toStdString(), type);
  }
  return *body != nullptr;
}

QIODevice* RingSearchService::AnswerSearch(const std::wstring& key) {
  const std::vector<fs::path> folders = RingFolders();
  const std::vector<RingFile> rings = FindRings(folders, key);
  std::vector<std::string> addresses;
  addresses.reserve(rings.size());
  for (const RingFile& ring : rings) addresses.push_back(kRingPathPrefix + TokenFor(ring));
  auto* buffer = new QBuffer;
  buffer->setData(QByteArray::fromStdString(RingSearchPage(key, rings, addresses, folders)));
  return buffer;
}

QIODevice* RingSearchService::AnswerRing(const std::string& token, QByteArray* type) {
  const auto found = listed.find(token);
  if (found == listed.end()) return nullptr;
  auto file = std::make_unique<QFile>(QString::fromStdString(found->second.path.string()));
  if (!file->open(QIODevice::ReadOnly)) return nullptr;
  *type = MimeTypeOf(found->second.format);
  return file.release();
}
std::string RingSearchService::TokenFor(const RingFile& ring) {
  if (const auto known = tokens.find(ring.path); known != tokens.end()) {
    listed[known->second] = ring;
    return known->second;
  }
  std::string token = std::to_string(listed.size() + 1);
  listed.emplace(token, ring);
  tokens.emplace(ring.path, token);
  return token;
}

}  // namespace ringsearch
