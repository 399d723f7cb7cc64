#include "auto_dialog.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core_links.h"
#include "device_views.h"
#include "dialog_parts.h"
#include "gui_thread.h"
#include "icons.h"
#include "main_frame.h"
#include "scan/parse_job.h"

namespace orvane::gui {

CAutoDialog::CAutoDialog(CMainFrame* frame, QWidget* parent) : WorkerDialog(frame, parent) {
  setWindowTitle("自动识别");
  setObjectName("auto_dialog");
  auto* layout = new QVBoxLayout(this);
  list_ = new QTableWidget(0, 4, this);
  list_->setHorizontalHeaderLabels({"设备名称", "磁盘号", "状态信息", QString()});
  list_->verticalHeader()->setVisible(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setColumnHidden(3, true);
  list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  layout->addWidget(list_);
  progress_ = AddProgressBar(layout, this);
  AddButtonRow(layout, this, {{"开始", &start_}, {"停止", &stop_}});
  start_->setAutoDefault(false);
  resize(560, 300);
  connect(start_, &QPushButton::clicked, this, &CAutoDialog::Start);
  connect(stop_, &QPushButton::clicked, this, &CAutoDialog::Stop);
}

void CAutoDialog::Prepare() {
  list_->setRowCount(0);
  const auto& devices = frame_->devices();
  list_->setRowCount(static_cast<int>(devices.size()));
  for (int r = 0; r < static_cast<int>(devices.size()); ++r) {
    auto* name = new QTableWidgetItem(Q(devices[r].name));
    name->setFlags(name->flags() | Qt::ItemIsUserCheckable);
    name->setCheckState(Qt::Unchecked);
    list_->setItem(r, 0, name);
    list_->setItem(r, 1, new QTableWidgetItem("#" + QString::number(devices[r].number)));
    list_->setItem(r, 2, new QTableWidgetItem("未知监控"));
    list_->setItem(r, 3, new QTableWidgetItem(QString::number(devices[r].number)));
  }
  progress_->setRange(0, 3);
  progress_->setValue(0);
}

void CAutoDialog::Open() {
  Prepare();
  frame_->show_modal(this);
}

void CAutoDialog::RequestStop() { stop_request_.store(true); }
void CAutoDialog::Stop() { stop_request_.store(true); }

void CAutoDialog::Start() {
  if (frame_->RefuseWhileBusy()) return;
  stop_request_.store(false);
  // The devices are copied: the worker must not follow the list if the
  // user refreshes it meanwhile.
  std::vector<std::pair<int, DeviceInfo>> ticked;
  const auto& devices = frame_->devices();
  for (int r = 0; r < list_->rowCount(); ++r) {
    if (list_->item(r, 0)->checkState() != Qt::Checked) continue;
    const int32_t number = list_->item(r, 3)->text().toInt();
    for (const auto& d : devices)
      if (d.number == number) ticked.emplace_back(r, d);
  }
  if (ticked.empty()) {
    frame_->Warn("参数设置错误，请重新设置");
    return;
  }
  CMainFrame* frame = frame_;
  frame_->StartWorker([this, frame, ticked] {
    frame->flags().worker_busy.store(1);
    for (const auto& [row, device] : ticked) {
      // Each device costs four reads at most; a stop is honoured between them.
      if (stop_request_.load()) break;
      RunOnGui([this, row = row] {
        list_->item(row, 2)->setText("正在解析...");
        progress_->setValue(0);
      });
      const int32_t code = SampleBrandOf(device, [this](int i) {
        PostToGui([this, i] { progress_->setValue(i); });
      });
      const QString text = Q(StreamBrandText(code));
      RunOnGui([this, row = row, text] {
        list_->item(row, 2)->setText(text);
        list_->item(row, 0)->setCheckState(Qt::Unchecked);
      });
    }
    frame->flags().worker_busy.store(0);
    PowerOffIfRequested(frame->flags());
  });
}

CSplashDialog::CSplashDialog(CMainFrame* frame) : QDialog(nullptr), frame_(frame) {
  setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* picture = new QLabel(this);
  picture->setPixmap(SplashPixmap());
  layout->addWidget(picture);
}

void CSplashDialog::Run() {
  CMainFrame* frame = frame_;
  frame_->StartWorker([this, frame] {
    frame->EnumerateAtStartUp();
    RunOnGui([this, frame] {
      frame->disk_view()->RebuildDeviceTree();
      if (isVisible()) done(Accepted);
    });
  });
  exec();
}

CZekDlg::CZekDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Orvane软件");
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(
      "<b>Orvane 监控录像恢复软件 V6.10</b><br><br>"
      "从DVR/NVR监控硬盘及其镜像中恢复录像文件。<br>"
      "支持: 海康, 大华, WFS, 波粒, 华亿, 美电贝尔, 中维, 智灵",
      this);
  text->setTextFormat(Qt::RichText);
  layout->addWidget(text);
  auto* ok = new QPushButton("确定", this);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ok, 0, Qt::AlignRight);
}

}  // namespace orvane::gui
