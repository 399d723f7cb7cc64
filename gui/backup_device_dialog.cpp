#include "backup_device_dialog.h"

#include <QEvent>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "device/format_text.h"
#include "dialog_parts.h"
#include "gui_thread.h"

namespace orvane::gui {

namespace {
constexpr int kIdentityColumn = 4;
}

CBpdeviceDialog::CBpdeviceDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("磁盘设备");
  setObjectName("backup_device_dialog");
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  list_ = new QTableWidget(0, 5, this);
  list_->setObjectName("device_list");
  list_->setHorizontalHeaderLabels({"设备名称", "序列号", "磁盘号", "大小", "属性"});
  list_->verticalHeader()->setVisible(false);
  list_->setShowGrid(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->horizontalHeader()->setStretchLastSection(false);
  layout->addWidget(list_);
  AddButtonRow(layout, this, {{"确定", &ok_}, {"取消", &cancel_}});
  ok_->setAutoDefault(false);
  resize(640, 260);

  list_->viewport()->installEventFilter(this);
  connect(list_, &QTableWidget::cellClicked, this, [this](int row, int) { RowClicked(row); });
  connect(list_, &QTableWidget::itemChanged, this, &CBpdeviceDialog::ItemChanged);
  connect(ok_, &QPushButton::clicked, this, &CBpdeviceDialog::Confirm);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CBpdeviceDialog::Prepare(const std::vector<DeviceInfo>& devices) {
  devices_ = devices;
  chosen_.reset();
  updating_ = true;
  list_->setRowCount(0);
  list_->setRowCount(static_cast<int>(devices_.size()));
  for (int r = 0; r < static_cast<int>(devices_.size()); ++r) {
    const DeviceInfo& d = devices_[r];
    auto* name = new QTableWidgetItem(Q(d.name));
    name->setFlags(name->flags() | Qt::ItemIsUserCheckable);
    name->setCheckState(Qt::Unchecked);
    list_->setItem(r, 0, name);
    list_->setItem(r, 1, new QTableWidgetItem(Q(d.serial)));
    list_->setItem(r, 2, new QTableWidgetItem("#" + QString::number(d.number)));
    list_->setItem(r, 3, new QTableWidgetItem(Q(FormatSize(d.size))));
    // The row's place in the copied list: "确定" finds its device by it,
    // whatever the other columns show.
    list_->setItem(r, kIdentityColumn, new QTableWidgetItem(QString::number(r)));
  }
  updating_ = false;
  box_toggled_ = false;
}

void CBpdeviceDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const int quarter = list_->viewport()->width() / 4;
  for (int c = 0; c < kIdentityColumn; ++c) list_->setColumnWidth(c, quarter);
  list_->setColumnWidth(kIdentityColumn, 0);
  list_->setColumnHidden(kIdentityColumn, true);
}

bool CBpdeviceDialog::eventFilter(QObject* watched, QEvent* event) {
  // Every click starts unaware of a toggle; the box's own handling, if the
  // click lands on it, tells the click handler to keep out.
  if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress)
    box_toggled_ = false;
  return QDialog::eventFilter(watched, event);
}

int CBpdeviceDialog::CheckedRow() const {
  for (int r = 0; r < list_->rowCount(); ++r)
    if (list_->item(r, 0) && list_->item(r, 0)->checkState() == Qt::Checked) return r;
  return -1;
}

void CBpdeviceDialog::CheckOnly(int row) {
  updating_ = true;
  for (int r = 0; r < list_->rowCount(); ++r)
    if (QTableWidgetItem* item = list_->item(r, 0))
      item->setCheckState(r == row ? Qt::Checked : Qt::Unchecked);
  updating_ = false;
}

void CBpdeviceDialog::ItemChanged(QTableWidgetItem* item) {
  if (updating_ || !item || item->column() != 0) return;
  // The box itself was toggled: a tick clears every other one, an untick
  // leaves the picker with none.
  box_toggled_ = true;
  if (item->checkState() == Qt::Checked) CheckOnly(item->row());
  list_->selectRow(item->row());
}

void CBpdeviceDialog::RowClicked(int row) {
  // A click on the box has already been handled as a toggle.
  if (box_toggled_) {
    box_toggled_ = false;
    return;
  }
  CheckOnly(row);
}

void CBpdeviceDialog::Confirm() {
  const int row = CheckedRow();
  if (row < 0) return;
  bool ok = false;
  const int index = list_->item(row, kIdentityColumn)->text().toInt(&ok);
  if (!ok || index < 0 || index >= static_cast<int>(devices_.size())) return;
  chosen_ = devices_[index];
  accept();
}

}  // namespace orvane::gui
