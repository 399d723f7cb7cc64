#include "hex_dialog.h"

#include <QLabel>
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
  } else {
    // A medium that ends inside the page shows only the bytes it has,
    // instead of a tail of zeros that are not on it.
    const int64_t size = source.Size();
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
  edit_->SetBytesPerRow(16);
  edit_->SetCaret(0, CHexEdit::kHighDigit);
  edit_->viewport()->update();
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
