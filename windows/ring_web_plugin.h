// The seam between the program and its web plug-in ringweb.so, which alone links the browser
// engine (Qt WebEngine and, through it, an OpenGL driver). The program loads it with dlopen the
// first time a web window opens, never at start-up, and never unloads it; a plug-in that is
// missing or does not load leaves the rest of the program as it was.
//
// The plug-in makes the web window's view. What the view may show, and the answers of the
// built-in ring search service under its own scheme (ring_search_url.h), stay the program's: the
// plug-in asks its PageHost for both. Main thread only, on both sides.
#pragma once

#include <filesystem>
#include <memory>

#include "ui/web_view.h"

class QByteArray;
class QIODevice;
class QUrl;
class QWidget;

namespace ringweb {

inline constexpr char kLibraryName[] = "ringweb.so";
inline constexpr char kCreateViewExport[] = "RingWebCreateView";

// The program's side of the seam. The plug-in keeps the host it was first given for the rest of
// the process (the engine serves the scheme for as long as it runs): a host lives as long.
class PageHost {
 public:
  // True when the view may go to address (checked for every navigation of a page's main frame
  // and of its frames; typed loads of data: and about:blank pages of the program always may).
  virtual bool MayShow(const QUrl& address) = 0;
  // The answer to a GET request of the built-in scheme: true with its type and body (the caller
  // owns the body and reads it while the request lasts), false when nothing is served there.
  virtual bool Answer(const QUrl& address, QByteArray* type, QIODevice** body) = 0;

 protected:
  ~PageHost() = default;
};

// The export: a view whose widget is a child of parent, or nullptr when the engine cannot start.
using CreateViewFunction = tavio_ui::WebView* (*)(QWidget* parent, PageHost* host);

// Loads the plug-in from library and returns its export, or nullptr when the file is missing,
// does not load or lacks the export. A plug-in that loaded is loaded once.
CreateViewFunction LoadPlugin(const std::filesystem::path& library);

// The plug-in beside the executable.
std::filesystem::path PluginPath();

}  // namespace ringweb
