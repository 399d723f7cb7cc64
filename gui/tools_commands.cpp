// The commands of the tools: mirror backup ("创建镜像"), the hex view
// ("HEX查看"), the timed shutdown ("定时关机") and the version check with
// its download page ("软件升级"). Each is one method of the main frame,
// called by the toolbar, the menus and the device tree's context menu.

#include "main_frame.h"

namespace orvane::gui {

// "创建镜像": the mirror backup dialog on `device` as its source (null when
// the tree item led to no device).
void CMainFrame::ShowImagingDialog(const DeviceInfo* /*device*/) {}

// "定时关机": the timed shutdown dialog; sets flags().shutdown_when_done.
void CMainFrame::ShowShutdownDialog() {}

// Called once while the frame is built, before the panes exist; runs on a
// thread of its own and is not counted as a worker.
void CMainFrame::StartVersionCheck() {}

// "软件升级": opens the download page in the user's browser.
void CMainFrame::OpenDownloadPage() {}

}  // namespace orvane::gui
