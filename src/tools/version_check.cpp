#include "tools/version_check.h"

#include <cstdlib>

#include "tools/http_client.h"
#include "tools/network_reachability.h"
#include "tools/scrambled_text.h"
#include "tools/url_opener.h"

namespace orvane {

namespace {
constexpr auto kPrimaryBase = Scramble("http://update1.orvane.invalid/v6/");
constexpr auto kFallbackBase = Scramble("http://update2.orvane.invalid/v6/");
constexpr auto kDownloadPage = Scramble("http://www.orvane.invalid/download_6.html");

// The version body is three bytes; a little more tells a longer one apart
// when the server declares no length.
constexpr size_t kBodyLimit = 64;
}  // namespace

VersionSources BuiltInVersionSources() {
  return {std::string(kPrimaryBase.view()), std::string(kFallbackBase.view())};
}

int32_t FetchPublishedVersion(HttpClient& http, const std::string& address, int32_t& published) {
  const HttpResult r = http.Get(address, kBodyLimit);
  switch (r.outcome) {
    case HttpResult::Outcome::Error:
      return kVersionLibraryError;
    case HttpResult::Outcome::OpenFailed:
      return kVersionOpenFailed;
    case HttpResult::Outcome::BadResponse:
      return kVersionStatusFailed;
    case HttpResult::Outcome::Ok:
      break;
  }
  if (r.status < 200 || r.status > 299) return kVersionStatusFailed;
  int64_t length = r.declared_length;
  if (length < 0) length = r.body_complete ? static_cast<int64_t>(r.body.size()) : -1;
  if (length != 3) return kVersionBadLength;
  if (r.body.size() < 3) return kVersionShortRead;
  const std::string digits = r.body.substr(0, 3);
  published = static_cast<int32_t>(std::strtol(digits.c_str(), nullptr, 10));
  return kVersionOk;
}

int32_t QueryPublishedVersion(HttpClient& http, NetworkReachability& network,
                              const VersionSources& sources, int32_t& published) {
  if (!network.IsOnline()) return kVersionOffline;
  int32_t result = FetchPublishedVersion(http, Descramble(sources.primary) + "version.zip", published);
  if (result != kVersionOk)
    result = FetchPublishedVersion(http, Descramble(sources.fallback) + "version.zip", published);
  return result;
}

std::string VersionText(int32_t version) {
  const std::string digits = std::to_string(version);
  if (digits.empty()) return ".";
  return digits.substr(0, 1) + "." + digits.substr(1);
}

std::string DownloadPageAddress() { return Descramble(kDownloadPage.view()); }

bool OpenDownloadPage(UrlOpener& opener) { return opener.OpenUrl(DownloadPageAddress()); }

}  // namespace orvane
