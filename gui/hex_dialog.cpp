#include "hex_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "device/notify.h"
#include "device/source_device.h"
#include "gui_thread.h"
#include "hex_edit.h"
#include "main_frame.h"

namespace orvane::gui {

CHexDialog::CHexDialog(const DeviceInfo& device, int64_t offset, QWidget* parent)
    : QDialog(parent), device_(device), offset_(offset) {
  setObjectName("hex_dialog");
  setWindowTitle(kHexDialogTitle);
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  message_ = new QLabel(this);
  message_->setObjectName("hex_message");
  message_->setStyleSheet("color: red; padding: 4px;");
  message_->hide();
  layout->addWidget(message_);
  auto* nav = new QHBoxLayout;
  nav->setContentsMargins(4, 4, 4, 4);
  sector_edit_ = new QLineEdit(this);
  byte_edit_ = new QLineEdit(this);
  auto* go = new QPushButton("跳转", this);
  previous_ = new QPushButton("上一页", this);
  next_ = new QPushButton("下一页", this);
  position_ = new QLabel(this);
  position_->setObjectName("hex_position");
  for (auto* b : {go, previous_, next_}) b->setAutoDefault(false);
  nav->addWidget(new QLabel("扇区:", this));
  nav->addWidget(sector_edit_);
  nav->addWidget(new QLabel("字节偏移:", this));
  nav->addWidget(byte_edit_);
  nav->addWidget(go);
  nav->addWidget(previous_);
  nav->addWidget(next_);
  nav->addWidget(position_, 1);
  layout->addLayout(nav);
  connect(sector_edit_, &QLineEdit::textEdited, this, [this] { byte_field_last_ = false; });
  connect(byte_edit_, &QLineEdit::textEdited, this, [this] { byte_field_last_ = true; });
  connect(sector_edit_, &QLineEdit::returnPressed, this, &CHexDialog::GoToTyped);
  connect(byte_edit_, &QLineEdit::returnPressed, this, &CHexDialog::GoToTyped);
  connect(go, &QPushButton::clicked, this, &CHexDialog::GoToTyped);
  connect(previous_, &QPushButton::clicked, this, &CHexDialog::PreviousPage);
  connect(next_, &QPushButton::clicked, this, &CHexDialog::NextPage);
  edit_ = new CHexEdit(this);
  edit_->setObjectName("hex_edit");
  layout->addWidget(edit_, 1);
  Load();
  resize(std::max(edit_->sizeHint().width(), 700), 650);
}

void CHexDialog::done(int result) {
  QDialog::done(result);
  if (testAttribute(Qt::WA_DeleteOnClose)) deleteLater();
}

void CHexDialog::Load() {
  // A fresh zeroed page every time: a failed read shows zeros, never the
  // bytes of an earlier read.
  QByteArray page(kHexPageBytes, '\0');
  QString failure;
  SourceDevice source;
  source.Open(device_);
  if (!source.is_open()) {
    failure = Q(kMsgOpenSourceFailed);
    size_ = -1;
  } else {
    // A medium that ends inside the page shows only the bytes it has,
    // instead of a tail of zeros that are not on it.
    const int64_t size = source.Size();
    size_ = size;
    if (size > 0) {
      const int64_t available = std::max<int64_t>(0, size - offset_);
      page.resize(static_cast<qsizetype>(std::min<int64_t>(kHexPageBytes, available)));
    }
    if (!page.isEmpty()) {
      source.Read(offset_, page.data(), static_cast<int32_t>(page.size()));
      if (!source.ok()) {
        page.fill('\0');
        failure = kMsgHexReadFailed;
      }
    }
  }
  if (!failure.isEmpty()) PostError(S(failure));
  message_->setText(failure);
  message_->setVisible(!failure.isEmpty());
  edit_->SetData(page);
  edit_->SetAddressBase(offset_);
  edit_->SetBytesPerRow(16);
  edit_->SetCaret(0, CHexEdit::kHighDigit);
  edit_->viewport()->update();
  ShowPosition();
}

void CHexDialog::GoToOffset(int64_t byte_offset) {
  int64_t at = std::max<int64_t>(0, byte_offset);
  // Past the end shows the last page, so that something is always there.
  if (size_ > 0 && at >= size_) at = std::max<int64_t>(0, size_ - kHexPageBytes);
  offset_ = at - at % 16;
  Load();
}

void CHexDialog::PreviousPage() {
  if (offset_ > 0) GoToOffset(std::max<int64_t>(0, offset_ - kHexPageBytes));
}

void CHexDialog::NextPage() {
  if (size_ >= 0 && offset_ + kHexPageBytes >= size_) return;
  GoToOffset(offset_ + kHexPageBytes);
}

void CHexDialog::GoToTyped() {
  bool ok = false;
  if (byte_field_last_) {
    const QString text = byte_edit_->text().trimmed();
    const bool hex = text.startsWith("0x", Qt::CaseInsensitive);
    const qlonglong value = hex ? text.mid(2).toLongLong(&ok, 16) : text.toLongLong(&ok, 10);
    if (ok && value >= 0) GoToOffset(value);
  } else {
    const qlonglong sector = sector_edit_->text().trimmed().toLongLong(&ok, 10);
    if (ok && sector >= 0) GoToSector(sector);
  }
}

void CHexDialog::ShowPosition() {
  position_->setText(QString("扇区 %1   偏移 0x%2")
                         .arg(offset_ / 512)
                         .arg(QString::number(offset_, 16).toUpper()));
  previous_->setEnabled(offset_ > 0);
  next_->setEnabled(size_ < 0 || offset_ + kHexPageBytes < size_);
}

// "HEX查看": a modeless view of the device's first sectors. Each command
// opens a window of its own, with its own copy of the bytes.
void CMainFrame::ShowHexView(const DeviceInfo* device) {
  if (!device) {
    PostError(kMsgOpenSourceFailed);
    return;
  }
  auto* dialog = new CHexDialog(*device, 0, this);
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

}  // namespace orvane::gui
