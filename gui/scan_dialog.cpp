#include "scan_dialog.h"

#include <QButtonGroup>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "device/device_label.h"
#include "dialog_parts.h"
#include "elided_edit.h"
#include "file_view.h"
#include "gui_thread.h"
#include "main_frame.h"
#include "page_bar.h"
#include "recording_model.h"
#include "scan/parse_job.h"
#include "scan/status_texts.h"
#include "scan/task_head.h"

namespace orvane::gui {

namespace {
struct BrandRadio {
  int code;  // 0: shown but without an engine
  const char* caption;
};
const BrandRadio kBrandRadios[] = {
    {1, "海康监控"}, {2, "大华监控"}, {3, "WFS监控"},  {4, "波粒监控"}, {5, "华亿监控"},
    {6, "美电贝尔"}, {7, "中维监控"}, {8, "智灵监控"}, {0, "汉邦监控"}, {0, "狮安监控"},
};
}  // namespace

CScanDialog::CScanDialog(CMainFrame* frame, QWidget* parent) : WorkerDialog(frame, parent) {
  setWindowTitle("解析视频");
  setObjectName("scan_dialog");
  auto* layout = new QVBoxLayout(this);

  auto* brand_box = new QGroupBox("品牌", this);
  auto* brand_grid = new QGridLayout(brand_box);
  brands_ = new QButtonGroup(this);
  int slot = 0;
  for (const auto& b : kBrandRadios) {
    auto* radio = new QRadioButton(QString::fromUtf8(b.caption), brand_box);
    if (b.code == 0) {
      radio->setEnabled(false);
    } else {
      brands_->addButton(radio, b.code);
    }
    brand_grid->addWidget(radio, slot / 5, slot % 5);
    ++slot;
  }
  layout->addWidget(brand_box);

  auto* row = new QHBoxLayout;
  auto* mode_box = new QGroupBox("方式", this);
  auto* mode_layout = new QVBoxLayout(mode_box);
  fast_ = new QRadioButton("快速解析(快)", mode_box);
  deep_ = new QRadioButton("深度解析(慢)", mode_box);
  mode_layout->addWidget(fast_);
  mode_layout->addWidget(deep_);
  auto* version_box = new QGroupBox("版本", this);
  auto* version_layout = new QVBoxLayout(version_box);
  version1_ = new QRadioButton("版本一", version_box);
  version2_ = new QRadioButton("版本二", version_box);
  version_layout->addWidget(version1_);
  version_layout->addWidget(version2_);
  row->addWidget(mode_box);
  row->addWidget(version_box);
  layout->addLayout(row);

  auto* region_box = new QGroupBox("区域", this);
  auto* form = new QFormLayout(region_box);
  source_edit_ = new MiddleElidedEdit(region_box);
  start_edit_ = new QLineEdit(region_box);
  end_edit_ = new QLineEdit(region_box);
  buffer_edit_ = new QLineEdit(region_box);
  form->addRow("源设备:", source_edit_);
  form->addRow("开始扇区:", start_edit_);
  form->addRow("结束扇区:", end_edit_);
  form->addRow("缓冲大小:", buffer_edit_);
  auto* path_row = new QHBoxLayout;
  path_edit_ = new QLineEdit(region_box);
  path_edit_->setReadOnly(true);
  browse_ = new QPushButton("...", region_box);
  browse_->setFixedWidth(32);
  path_row->addWidget(path_edit_);
  path_row->addWidget(browse_);
  form->addRow("任务路径:", path_row);
  layout->addWidget(region_box);

  status_line_ = new QLabel(this);
  status_line_->setStyleSheet("color: rgb(160, 0, 100); background: transparent;");
  layout->addWidget(status_line_);
  progress_ = AddProgressBar(layout, this);

  auto* buttons = new QHBoxLayout;
  start_ = new QPushButton("开始", this);
  continue_ = new QPushButton("继续扫描", this);
  stop_ = new QPushButton("停止", this);
  help_ = new QPushButton("帮助", this);
  buttons->addWidget(start_);
  buttons->addWidget(continue_);
  buttons->addWidget(stop_);
  buttons->addStretch();
  buttons->addWidget(help_);
  layout->addLayout(buttons);
  start_->setAutoDefault(false);
  continue_->setAutoDefault(false);

  help_dialog_ = new CHelpDialog(this);

  connect(fast_, &QRadioButton::clicked, this, &CScanDialog::ModeChanged);
  connect(deep_, &QRadioButton::clicked, this, &CScanDialog::ModeChanged);
  connect(start_, &QPushButton::clicked, this, [this] { Start(false); });
  connect(continue_, &QPushButton::clicked, this, [this] { Start(true); });
  connect(stop_, &QPushButton::clicked, this, &CScanDialog::Stop);
  connect(help_, &QPushButton::clicked, this, &CScanDialog::ShowHelp);
  connect(browse_, &QPushButton::clicked, this, [this] {
    const DeviceInfo* d = frame_->source();
    const std::string time = LogTimeText(std::time(nullptr));
    const std::string serial = d ? d->serial : std::string();
    const QString proposed = Q(serial.empty() ? time : serial + "-" + time);
    const QString path = ask_task_path ? ask_task_path(proposed) : QString();
    if (!path.isEmpty()) ChooseTaskFile(path);
  });
  ask_task_path = [this](const QString& proposed) {
    // An existing task is chosen to be continued, not replaced: the dialog
    // then offers "继续扫描" beside "重新开始".
    return QFileDialog::getSaveFileName(this, QString(), proposed + ".tak",
                                        "tak Files (*.tak);;All Files (*.*)", nullptr,
                                        QFileDialog::DontConfirmOverwrite);
  };
}

QRadioButton* CScanDialog::brand_radio(int code) const {
  return qobject_cast<QRadioButton*>(brands_->button(code));
}

int CScanDialog::checked_brand() const {
  const int id = brands_->checkedId();
  return id > 0 ? id : 0;
}

void CScanDialog::CheckBrand(int code) {
  brands_->setExclusive(false);
  for (auto* b : brands_->buttons()) b->setChecked(false);
  brands_->setExclusive(true);
  if (auto* b = brands_->button(code)) b->setChecked(true);
}

void CScanDialog::SetEditsEnabled(bool on) {
  start_edit_->setEnabled(on);
  end_edit_->setEnabled(on);
  buffer_edit_->setEnabled(on);
}

static QString SectorsText(int64_t bytes) { return QString::number(bytes / 512); }

void CScanDialog::Prepare() {
  const ScanParameters& p = frame_->params();
  const DeviceInfo* d = p.source;
  SetEditsEnabled(false);
  if (p.brand >= 1 && p.brand <= 8) {
    CheckBrand(p.brand);
    fast_->setChecked(true);
  } else {
    CheckBrand(0);
    deep_->setChecked(true);
    SetEditsEnabled(true);
  }
  source_edit_->setText(d ? Q(SourceDeviceText(*d)) : QString());
  start_edit_->setText("0");
  end_edit_->setText(d ? SectorsText(d->size) : "0");
  buffer_edit_->setText(QString::number(kDefaultBuffer));
  version1_->setChecked(true);
  path_edit_->setText(Q(kMsgNoTaskChosen));
  status_line_->setText("删除-格式化等快速解析文件量不足请深度解析");
  start_->setText("开始");
  continue_->setVisible(false);
  progress_->setRange(0, 100);
  progress_->setValue(0);
}

void CScanDialog::ModeChanged() {
  if (fast_->isChecked()) {
    SetEditsEnabled(false);
  } else {
    SetEditsEnabled(true);
    const DeviceInfo* d = frame_->source();
    start_edit_->setText("0");
    end_edit_->setText(d ? SectorsText(d->size) : "0");
  }
}

void CScanDialog::ChooseTaskFile(const QString& path) {
  ScanParameters& p = frame_->params();
  path_edit_->setText(path);
  p.task_path = S(path);
  const bool read = ReadTaskHead(p, true);
  const TaskHead& h = p.head;
  // A file that is new or too short to hold a head offers no continuation.
  if (!read || (h.mode != ScanModeFast && h.mode != ScanModeDeep)) {
    continue_->setVisible(false);
    start_->setText("开始");
    return;
  }
  start_edit_->setText(SectorsText(h.scan_position));
  end_edit_->setText(SectorsText(h.region_end));
  buffer_edit_->setText(QString::number(h.buffer));
  if (h.mode == ScanModeFast) {
    start_->setText("开始");
    fast_->setChecked(true);
    SetEditsEnabled(false);
    continue_->setVisible(false);
  } else {
    start_->setText("重新开始");
    deep_->setChecked(true);
    SetEditsEnabled(true);
    continue_->setVisible(true);
  }
  (h.version == 2 ? version2_ : version1_)->setChecked(true);
  CheckBrand(h.brand);
}

void CScanDialog::Start(bool continue_run) {
  ScanParameters& p = frame_->params();
  ParseRequest r;
  r.start_text = S(start_edit_->text());
  r.end_text = S(end_edit_->text());
  r.buffer_text = S(buffer_edit_->text());
  r.fast_checked = fast_->isChecked();
  r.deep_checked = deep_->isChecked();
  r.version1_checked = version1_->isChecked();
  r.brand = checked_brand();
  r.continue_run = continue_run;
  r.path_text = S(path_edit_->text());
  const StartResult result = ValidateParseStart(r, p, frame_->flags());
  if (!result.started) {
    frame_->Warn(Q(result.warning));
    return;
  }
  // A dialog opened on an item that led to no device has nothing to read.
  if (!p.source) {
    frame_->Warn(Q(kMsgBadParameters));
    return;
  }
  CFileView* view = frame_->file_view();
  view->ClearList();
  progress_->setRange(0, 100);
  progress_->setValue(0);

  ParseJobHooks hooks;
  hooks.status_line = [this](std::string_view text) {
    const QString t = Q(text);
    RunOnGui([this, t] { status_line_->setText(t); });
  };
  hooks.clear_list = [view] { RunOnGui([view] { view->ClearList(); }); };
  hooks.pages_known = [view](int32_t pages) {
    RunOnGui([view, pages] {
      view->page_bar()->SetPages(pages);
      view->page_bar()->SetStatus(Q(kMsgLoadingTask));
    });
  };
  hooks.log_info = [this](std::string_view text) {
    const QString t = Q(text);
    RunOnGui([this, t] { frame_->Info(t); });
  };
  hooks.list_loaded = [view] { RunOnGui([view] { view->FillRecordingList(); }); };
  hooks.close_dialog = [this] { CloseByWorker(); };
  CMainFrame* frame = frame_;
  frame_->StartWorker([frame, hooks] { RunParseJob(frame->params(), frame->flags(), hooks); });
}

void CScanDialog::Stop() { frame_->params().stop.store(1); }

void CScanDialog::ShowHelp() { help_dialog_->exec(); }

CZnDlg::CZnDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("参数设置");
  setObjectName("smart_value_dialog");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  edit_ = new QLineEdit(this);
  form->addRow("智能值:", edit_);
  layout->addLayout(form);
  auto* box = new QDialogButtonBox(this);
  box->addButton("确定", QDialogButtonBox::AcceptRole);
  box->addButton("取消", QDialogButtonBox::RejectRole);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(box);
}

int64_t CZnDlg::ValueBytes() const {
  const int64_t sectors = EditValue(S(edit_->text()));
  if (sectors > INT64_MAX / 512 || sectors < 0) return -1;
  return sectors * 512;
}

CHelpDialog::CHelpDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Orvane软件");
  setObjectName("help_dialog");
  auto* layout = new QVBoxLayout(this);
  tree_ = new QTreeWidget(this);
  tree_->setHeaderHidden(true);
  layout->addWidget(tree_);
  resize(560, 420);
}

void CHelpDialog::showEvent(QShowEvent* event) {
  BuildTree();
  QDialog::showEvent(event);
}

void CHelpDialog::BuildTree() {
  tree_->clear();
  auto* root = new QTreeWidgetItem(tree_, {"参数设置方法"});
  auto* unknown = new QTreeWidgetItem(root, {"未知监控"});
  new QTreeWidgetItem(unknown,
                      {"请执行主程序工具栏中的 [自动识别] 来确定监控品牌(勾选需要检测的设备)"});
  const char* const brands[] = {"海康监控", "大华监控", "WFS监控", "华亿监控",
                                "波粒监控", "美电贝尔", "中维世纪"};
  for (const char* b : brands) {
    const QString brand = QString::fromUtf8(b);
    auto* node = new QTreeWidgetItem(root, {brand});
    new QTreeWidgetItem(node, {"[品牌] 选择 [" + brand + "]"});
    new QTreeWidgetItem(node, {"[方式] 如果选择[快速解析],解析出的文件量少,请选择[深度解析]"});
    new QTreeWidgetItem(node, {brand == "海康监控"
                                   ? QString("[版本] [版本一]或者[版本二]都可以")
                                   : QString("[版本] 如果选择[深度解析],建议[版本一]; 其他默认")});
    new QTreeWidgetItem(node, {"[区域] 参数默认"});
    new QTreeWidgetItem(node, {"[路径] 请选择任务文件名"});
  }
  root->setExpanded(true);
}

}  // namespace orvane::gui
