#pragma once
// "磁盘设备": picks one entry of the device list as a side of a mirror
// backup. At most one row is ticked at any time.

#include <QDialog>
#include <optional>
#include <vector>

#include "device/device_info.h"

class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace orvane::gui {

class CBpdeviceDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CBpdeviceDialog(QWidget* parent);

  // One row per device, in list order. The devices are copied: the list may
  // change while the picker is open.
  void Prepare(const std::vector<DeviceInfo>& devices);
  // "确定": the ticked row's device, and the picker closes; nothing at all
  // while no row is ticked.
  void Confirm();
  // The device "确定" took, when it did.
  const std::optional<DeviceInfo>& chosen() const { return chosen_; }

  QTableWidget* list() const { return list_; }
  QPushButton* ok_button() const { return ok_; }
  QPushButton* cancel_button() const { return cancel_; }
  // Row of the ticked box, -1 for none.
  int CheckedRow() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CheckOnly(int row);
  void RowClicked(int row);
  void ItemChanged(QTableWidgetItem* item);

  QTableWidget* list_;
  QPushButton* ok_;
  QPushButton* cancel_;
  std::vector<DeviceInfo> devices_;
  std::optional<DeviceInfo> chosen_;
  bool updating_ = false;
  bool box_toggled_ = false;
};

}  // namespace orvane::gui
