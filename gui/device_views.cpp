#include "device_views.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>

#include "core_links.h"
#include "device/device_label.h"
#include "device/format_text.h"
#include "gui_thread.h"
#include "icons.h"
#include "main_frame.h"

namespace orvane::gui {

CDiskView::CDiskView(CMainFrame* frame, QWidget* parent) : QTreeWidget(parent), frame_(frame) {
  setObjectName("disk_view");
  setHeaderHidden(true);
  setRootIsDecorated(true);
  setItemsExpandable(true);
  setDragEnabled(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setIconSize(QSize(16, 16));
}

QTreeWidgetItem* CDiskView::AddDeviceItem(const DeviceInfo& device) {
  const std::string brand = BrandTreeText(IdentifyBrandOf(device, frame_->params()));
  auto* item = new QTreeWidgetItem(this, {Q(DeviceItemText(device, brand))});
  item->setIcon(0, DeviceIcon());
  for (const auto& part : device.partitions) {
    auto* child = new QTreeWidgetItem(item, {Q(PartitionItemText(part))});
    child->setIcon(0, PartitionIcon());
  }
  return item;
}

void CDiskView::RebuildDeviceTree() {
  for (const auto& d : frame_->devices()) AddDeviceItem(d);
}

CDiskView::Resolved CDiskView::ResolveTreeItem(const QTreeWidgetItem* item) const {
  Resolved r;
  if (!item) return r;
  const QTreeWidgetItem* device_item = item->parent() ? item->parent() : item;
  const ItemReference ref = ParseDeviceItemText(S(device_item->text(0)));
  if (!ref.has_number) return r;
  r.brand_text = Q(ref.brand_text);
  r.device = FindDeviceByNumber(frame_->devices(), ref.number);
  return r;
}

void CDiskView::ShowItem(QTreeWidgetItem* item) {
  const Resolved r = ResolveTreeItem(item);
  frame_->info_panel()->ShowDeviceInfo(r.brand_text, r.device);
}

void CDiskView::mousePressEvent(QMouseEvent* event) {
  QTreeWidget::mousePressEvent(event);
  if (event->button() != Qt::LeftButton) return;
  if (QTreeWidgetItem* item = itemAt(event->position().toPoint())) ShowItem(item);
}

void CDiskView::contextMenuEvent(QContextMenuEvent* event) {
  QTreeWidgetItem* item = itemAt(viewport()->mapFromGlobal(event->globalPos()));
  if (!item) return;
  setCurrentItem(item);
  ShowItem(item);
  QMenu menu(this);
  menu.addAction("视频解析", this, &CDiskView::ParseSelected);
  menu.addAction("创建镜像", this, &CDiskView::CreateImageSelected);
  menu.addAction("加载任务", this, &CDiskView::LoadTaskSelected);
  menu.addAction("移除镜像", this, &CDiskView::RemoveImageSelected);
  menu.addAction("HEX查看", this, &CDiskView::HexViewSelected);
  menu.exec(event->globalPos());
}

void CDiskView::ParseSelected() {
  QTreeWidgetItem* item = currentItem();
  if (!item) return;
  const Resolved r = ResolveTreeItem(item);
  frame_->OpenScanDialog(r.device, PreselectedBrand(S(r.brand_text)));
}

void CDiskView::CreateImageSelected() {
  QTreeWidgetItem* item = currentItem();
  if (!item) return;
  frame_->ShowImagingDialog(ResolveTreeItem(item).device);
}

void CDiskView::LoadTaskSelected() {
  // A task is also reviewed without its disk attached; the export asks for
  // the source then.
  QTreeWidgetItem* item = currentItem();
  frame_->OpenTaskDialog(item ? ResolveTreeItem(item).device : nullptr);
}

void CDiskView::HexViewSelected() {
  QTreeWidgetItem* item = currentItem();
  if (!item) return;
  frame_->ShowHexView(ResolveTreeItem(item).device);
}

void CDiskView::RemoveImageSelected() {
  QTreeWidgetItem* item = currentItem();
  if (!item) return;
  const Resolved r = ResolveTreeItem(item);
  if (!r.device || r.device->kind != kDeviceKindImage) return;
  auto& devices = frame_->devices();
  const int32_t number = r.device->number;
  frame_->info_panel()->ForgetDevice(kDeviceKindImage, number);
  for (auto it = devices.begin(); it != devices.end(); ++it) {
    if (it->number == number) {
      devices.erase(it);
      break;
    }
  }
  QTreeWidgetItem* device_item = item->parent() ? item->parent() : item;
  delete device_item;
}

CPartitionView::CPartitionView(QWidget* parent) : QTableWidget(0, 2, parent) {
  setObjectName("info_panel");
  setHorizontalHeaderLabels({"信息标题", "信息内容"});
  horizontalHeader()->setStretchLastSection(true);
  verticalHeader()->setVisible(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
}

void CPartitionView::ShowDeviceInfo(const QString& brand_text, const DeviceInfo* device) {
  setRowCount(0);
  shown_kind_ = device ? device->kind : 0;
  shown_number_ = device ? device->number : -1;
  // An item that leads to no device still shows the rows, empty.
  const QString rows[6][2] = {
      {"设备型号", device ? Q(device->name) : QString()},
      {"设备序列号", device ? Q(device->serial) : QString()},
      {"设备大小", device ? Q(FormatSize(device->size)) : QString()},
      {"监控类型", brand_text},
      {"碎片总数量", "等待解析..."},
      {"总文件大小", "等待解析..."},
  };
  setRowCount(6);
  for (int r = 0; r < 6; ++r) {
    setItem(r, 0, new QTableWidgetItem(rows[r][0]));
    setItem(r, 1, new QTableWidgetItem(rows[r][1]));
  }
}

void CPartitionView::UpdateFoundCounters(const ScanProgress& progress) {
  if (rowCount() < 6) return;
  item(4, 1)->setText(QString::number(progress.found_count));
  item(5, 1)->setText(Q(FormatSize(progress.found_bytes)));
}

void CPartitionView::ForgetDevice(int32_t kind, int32_t number) {
  if (kind != shown_kind_ || number != shown_number_) return;
  setRowCount(0);
  shown_kind_ = 0;
  shown_number_ = -1;
}

QString CPartitionView::Content(int row) const {
  return row < rowCount() && item(row, 1) ? item(row, 1)->text() : QString();
}

}  // namespace orvane::gui
