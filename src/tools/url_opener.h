#pragma once
// The desktop's "open" of an address (the default browser). An interface so
// that tests record the address instead of starting a browser.

#include <string>

namespace orvane {

class UrlOpener {
 public:
  virtual ~UrlOpener() = default;
  // True when the desktop accepted the request.
  virtual bool OpenUrl(const std::string& url) = 0;
};

}  // namespace orvane
