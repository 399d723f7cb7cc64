#pragma once
// The page hex view: a modeless window over 8 KiB of a device at a time,
// from its first sectors on; the user goes to any sector or byte offset or
// pages through the whole device. Each page is read into the window's own
// buffer; the editor works on that copy only, nothing is written back.

#include <QDialog>

#include <cstdint>

#include "device/device_info.h"

class QLabel;
class QLineEdit;
class QPushButton;

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
  // The device's length in bytes; -1 when it could not be opened.
  int64_t device_size() const { return size_; }

  // Reads the page at the offset and shows it (also on a failure, then
  // all zeros with the reason above them).
  void Load();
  // Shows the page at a byte offset (rounded down to a row of 16 bytes,
  // kept inside the device) or at a sector; the bytes are read again.
  void GoToOffset(int64_t byte_offset);
  void GoToSector(int64_t sector) {
    GoToOffset(sector > INT64_MAX / 512 ? INT64_MAX : sector * 512);
  }
  // The page before or after the one shown.
  void PreviousPage();
  void NextPage();
  // The "跳转" button: the sector field, or the byte field when it was the
  // one last edited ("0x" for hexadecimal).
  void GoToTyped();

  QLineEdit* sector_edit() const { return sector_edit_; }
  QLineEdit* byte_edit() const { return byte_edit_; }
  QLabel* position_label() const { return position_; }
  QPushButton* previous_button() const { return previous_; }
  QPushButton* next_button() const { return next_; }

 protected:
  // Esc and the like end the window for good, as closing it does.
  void done(int result) override;

 private:
  void ShowPosition();

  DeviceInfo device_;
  int64_t offset_;
  int64_t size_ = -1;
  bool byte_field_last_ = false;
  CHexEdit* edit_;
  QLabel* message_;
  QLineEdit* sector_edit_;
  QLineEdit* byte_edit_;
  QLabel* position_;
  QPushButton* previous_;
  QPushButton* next_;
};

}  // namespace orvane::gui
