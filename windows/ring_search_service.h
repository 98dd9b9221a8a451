// The built-in ring search service: the other-ringtones page when no ring search address is
// configured. Qt WebEngine hands it every request of the "sonaclip" scheme; it answers the search
// path with a page of the user's rings whose names contain the query's key, and each listed ring
// under an opaque token. Nothing else is served: no path of a request is ever opened as a file.
//
// The scheme must be registered before QApplication exists (RegisterRingSearchScheme, from the
// program's start-up); the service is installed on a profile the first time a web window opens.
// Owned by the profile it is installed on. Main thread.
#pragma once

#include <QWebEngineUrlSchemeHandler>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "windows/ring_library.h"

class QWebEngineProfile;

namespace ringsearch {

// Declares the scheme to the web engine. Before QApplication; later calls do nothing.
void RegisterRingSearchScheme();

// The answer page for key: the rings found, each with a player whose source is ringAddress(i),
// or the plain message that none was found (naming the folders searched).
std::string RingSearchPage(const std::wstring& key, const std::vector<RingFile>& rings,
                           const std::vector<std::string>& ringAddresses,
                           const std::vector<std::filesystem::path>& folders);

// The short page shown when an address cannot be loaded.
std::string UnreachablePage();

class RingSearchService : public QWebEngineUrlSchemeHandler {
 public:
  // Installs the service on profile unless one is installed already; returns the one installed.
  static RingSearchService* InstallOn(QWebEngineProfile* profile);

  void requestStarted(QWebEngineUrlRequestJob* job) override;

 private:
  explicit RingSearchService(QObject* parent);

  void AnswerSearch(QWebEngineUrlRequestJob* job, const std::wstring& key);
  void AnswerRing(QWebEngineUrlRequestJob* job, const std::string& token);
  // The token of a listed ring, the same for the same file on every page.
  std::string TokenFor(const RingFile& ring);

  // Every ring any answer page listed, by token; only these are served.
  std::map<std::string, RingFile> listed;
  std::map<std::filesystem::path, std::string> tokens;
};

}  // namespace ringsearch
