#include "tool_services.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>
#include <mutex>

namespace orvane::gui {

namespace {
std::mutex& ServicesMutex() {
  static std::mutex mu;
  return mu;
}
ToolServices& Installed() {
  static ToolServices services{};
  return services;
}
}  // namespace

void InstallToolServices(ToolServices services) {
  std::lock_guard lock(ServicesMutex());
  Installed() = std::move(services);
}

ToolServices InstalledToolServices() {
  std::lock_guard lock(ServicesMutex());
  return Installed();
}

ToolServices SystemToolServices() {
  ToolServices s;
  s.http = std::make_shared<SocketHttpClient>();
  s.network = std::make_shared<SystemReachability>();
  s.url_opener = std::make_shared<DesktopUrlOpener>();
  return s;
}

bool DesktopUrlOpener::OpenUrl(const std::string& url) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

}  // namespace orvane::gui
