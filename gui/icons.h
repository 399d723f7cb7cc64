#pragma once
// The program's own icons, drawn at start-up: 32 × 32 for the toolbar,
// 16 × 16 for the device tree.

#include <QIcon>

namespace orvane::gui {

QIcon CommandIcon(int command_id);
QIcon DeviceIcon();
QIcon PartitionIcon();
QPixmap SplashPixmap();

}  // namespace orvane::gui
