// The built-in ring search service: the other-ringtones page when no ring search address is
// configured. The web plug-in hands it every request of the "sonaclip" scheme; it answers the
// search path with a page of the user's rings whose names contain the query's key, and each
// listed ring under an opaque token. Nothing else is served: no path of a request is ever opened
// as a file. It is also the rule of what the web window may show.
//
// One service serves the whole run (Instance), as the plug-in keeps its host. Main thread.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "windows/ring_library.h"
#include "windows/ring_web_plugin.h"

namespace ringsearch {

// The answer page for key: the rings found, each with a player whose source is ringAddress(i),
// or the plain message that none was found (naming the folders searched).
std::string RingSearchPage(const std::wstring& key, const std::vector<RingFile>& rings,
                           const std::vector<std::string>& ringAddresses,
                           const std::vector<std::filesystem::path>& folders);

// The short page shown when an address cannot be loaded.
std::string UnreachablePage();

class RingSearchService : public ringweb::PageHost {
 public:
  static RingSearchService& Instance();
  RingSearchService(const RingSearchService&) = delete;
  RingSearchService& operator=(const RingSearchService&) = delete;

  bool MayShow(const QUrl& address) override;
  bool Answer(const QUrl& address, QByteArray* type, QIODevice** body) override;

 private:
  RingSearchService() = default;
  ~RingSearchService() = default;

  QIODevice* AnswerSearch(const std::wstring& key);
  QIODevice* AnswerRing(const std::string& token, QByteArray* type);
  // The token of a listed ring, the same for the same file on every page.
  std::string TokenFor(const RingFile& ring);

  // Every ring any answer page listed, by token; only these are served.
  std::map<std::string, RingFile> listed;
  std::map<std::filesystem::path, std::string> tokens;
};

}  // namespace ringsearch
