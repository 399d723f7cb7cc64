#pragma once
// The upper left pane (the device tree) and the lower left pane (the
// information panel of the chosen device and of the running job).

#include <QTableWidget>
#include <QTreeWidget>

#include <string>

#include "device/device_info.h"
#include "scan/scan_parameters.h"

namespace orvane::gui {

class CMainFrame;

class CDiskView : public QTreeWidget {
  Q_OBJECT
 public:
  explicit CDiskView(CMainFrame* frame, QWidget* parent = nullptr);

  // The device item (brand identified first) with its partition children.
  QTreeWidgetItem* AddDeviceItem(const DeviceInfo& device);
  void RebuildDeviceTree();

  struct Resolved {
    const DeviceInfo* device = nullptr;
    QString brand_text;
  };
  // A partition item stands for its disk.
  Resolved ResolveTreeItem(const QTreeWidgetItem* item) const;

  // Context-menu commands on the selected item.
  void ParseSelected();
  void CreateImageSelected();
  void LoadTaskSelected();
  void RemoveImageSelected();
  void HexViewSelected();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void ShowItem(QTreeWidgetItem* item);
  CMainFrame* frame_;
};

class CPartitionView : public QTableWidget {
  Q_OBJECT
 public:
  explicit CPartitionView(QWidget* parent = nullptr);
  void ShowDeviceInfo(const QString& brand_text, const DeviceInfo* device);
  void UpdateFoundCounters(const ScanProgress& progress);
  QString Content(int row) const;
  // Empties the panel when it shows this device (the device is gone).
  void ForgetDevice(int32_t kind, int32_t number);

 private:
  // The device the rows describe; kind 0 for none.
  int32_t shown_kind_ = 0;
  int32_t shown_number_ = -1;
};

}  // namespace orvane::gui
