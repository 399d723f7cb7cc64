#pragma once
// The page hex view: a modeless window over the first sectors of a device.
// It reads them once, when it opens, into its own buffer; the editor works
// on that copy only.

#include <QDialog>

#include <cstdint>

#include "device/device_info.h"

class QLabel;

namespace orvane::gui {

class CHexEdit;

inline constexpr int32_t kHexPageBytes = 8192;
inline const char* const kHexDialogTitle = "页面HEX查看";
inline const char* const kMsgHexReadFailed = "读取源设备错误,可能存在坏道";

class CHexDialog : public QDialog {
  Q_OBJECT
 public:
  CHexDialog(const DeviceInfo& device, int64_t offset, QWidget* parent = nullptr);

  CHexEdit* hex_edit() const { return edit_; }
  // The failure shown above the bytes; hidden after a good read.
  QLabel* message_label() const { return message_; }
  int64_t offset() const { return offset_; }

  // Reads the page at the offset and shows it (also on a failure, then
  // all zeros with the reason above them).
  void Load();

 protected:
  // Esc and the like end the window for good, as closing it does.
  void done(int result) override;

 private:
  DeviceInfo device_;
  int64_t offset_;
  CHexEdit* edit_;
  QLabel* message_;
};

}  // namespace orvane::gui
