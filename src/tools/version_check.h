#pragma once
// The check, once per start, whether a newer version is published. The
// server holds the number as a body of exactly three ASCII digits.

#include <cstdint>
#include <string>

namespace orvane {

class HttpClient;
class NetworkReachability;
class UrlOpener;

inline constexpr int32_t kCurrentVersion = 610;

enum VersionResult : int32_t {
  kVersionOk = 0,            // the number is delivered
  kVersionOffline = 1,       // no request was made
  kVersionLibraryError = 2,  // the request could not be made at all
  kVersionOpenFailed = 3,    // the address could not be opened
  kVersionStatusFailed = 4,  // status outside 200..299, or unreadable
  kVersionBadLength = 5,     // the body is not exactly 3 bytes long
  kVersionShortRead = 6,     // fewer than 3 bytes arrived
};

// The two server folders, scrambled; the resource is "<folder>version.zip".
struct VersionSources {
  std::string primary;
  std::string fallback;
};
VersionSources BuiltInVersionSources();

// One fetch of "<base>version.zip".
int32_t FetchPublishedVersion(HttpClient& http, const std::string& address, int32_t& published);

// The whole query: offline test, primary, then the fallback when the primary
// gave anything but success.
int32_t QueryPublishedVersion(HttpClient& http, NetworkReachability& network,
                              const VersionSources& sources, int32_t& published);

// Whether the update dialog is to be shown.
inline bool OffersUpdate(int32_t result, int32_t published) {
  return result == kVersionOk && published > kCurrentVersion;
}

// "%d" with a "." after the first character: 610 -> "6.10".
std::string VersionText(int32_t version);

// The download page, descrambled, and its opening in the browser.
std::string DownloadPageAddress();
bool OpenDownloadPage(UrlOpener& opener);

}  // namespace orvane
