#pragma once
// What the tools of the main window reach outside the program through: the
// HTTP client and reachability test of the version check and the desktop's
// "open" of the download page. The program installs the real ones before it
// builds its main window; a window built without them (the tests) makes no
// request and opens nothing unless a test hands it doubles.

#include <memory>
#include <string>

#include "tools/http_client.h"
#include "tools/network_reachability.h"
#include "tools/url_opener.h"
#include "tools/version_check.h"

namespace orvane::gui {

struct ToolServices {
  std::shared_ptr<HttpClient> http;
  std::shared_ptr<NetworkReachability> network;
  std::shared_ptr<UrlOpener> url_opener;
  VersionSources version_sources = BuiltInVersionSources();
};

// The services main windows built from now on start with.
void InstallToolServices(ToolServices services);
ToolServices InstalledToolServices();

// The real ones: a socket HTTP client, the interfaces' reachability and the
// desktop's "open".
ToolServices SystemToolServices();

// The desktop's "open" through QDesktopServices; GUI thread only.
class DesktopUrlOpener final : public UrlOpener {
 public:
  bool OpenUrl(const std::string& url) override;
};

}  // namespace orvane::gui
