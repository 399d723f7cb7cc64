#include "backup_dialog.h"

#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>

#include "backup_device_dialog.h"
#include "dialog_parts.h"
#include "elided_edit.h"
#include "gui_thread.h"
#include "main_frame.h"
#include "rescue_map_view.h"

namespace orvane::gui {

namespace {

const char* const kImageFilter = "Img Files (*.img);;All Files (*.*)";

QString SectorsText(int64_t sectors) { return QString::number(static_cast<qlonglong>(sectors)); }

}  // namespace

CBpDialg::CBpDialg(CMainFrame* frame, QWidget* parent) : WorkerDialog(frame, parent) {
  setWindowTitle("镜像备份");
  setObjectName("backup_dialog");
  auto* layout = new QVBoxLayout(this);

  auto* sides = new QGridLayout;
  auto side_row = [&](int row, const char* caption, QLineEdit*& text, QPushButton*& disk,
                      QPushButton*& file) {
    text = new MiddleElidedEdit(this);
    disk = new QPushButton("Disk", this);
    file = new QPushButton("File", this);
    disk->setAutoDefault(false);
    file->setAutoDefault(false);
    sides->addWidget(new QLabel(caption, this), row, 0);
    sides->addWidget(text, row, 1);
    sides->addWidget(disk, row, 2);
    sides->addWidget(file, row, 3);
  };
  side_row(0, "源设备:", source_text_, source_disk_, source_file_);
  side_row(1, "目标设备:", target_text_, target_disk_, target_file_);
  source_text_->setObjectName("source_text");
  target_text_->setObjectName("target_text");
  layout->addLayout(sides);

  auto range_group = [&](const char* caption, QLineEdit*& offset, QLineEdit*& size) {
    auto* group = new QGroupBox(caption, this);
    auto* row = new QHBoxLayout(group);
    offset = new QLineEdit(group);
    size = new QLineEdit(group);
    row->addWidget(new QLabel("偏移:", group));
    row->addWidget(offset);
    row->addWidget(new QLabel("大小:", group));
    row->addWidget(size);
    return group;
  };
  auto* ranges = new QHBoxLayout;
  ranges->addWidget(range_group("源设备", source_offset_, source_size_));
  ranges->addWidget(range_group("目标设备", target_offset_, target_size_));
  target_size_->setReadOnly(true);
  layout->addLayout(ranges);

  progress_ = AddProgressBar(layout, this);
  map_view_ = new RescueMapView(this);
  layout->addWidget(map_view_, 1);
  AddButtonRow(layout, this, {{"开始", &start_}, {"停止", &stop_}});
  start_->setAutoDefault(false);
  stop_->setAutoDefault(false);
  resize(720, 520);

  picker_ = new CBpdeviceDialog(this);
  ask_drive = [this]() -> std::optional<DeviceInfo> {
    picker_->Prepare(frame_->devices());
    picker_->setResult(QDialog::Rejected);
    frame_->show_modal(picker_);
    if (picker_->result() != QDialog::Accepted) return std::nullopt;
    return picker_->chosen();
  };
  ask_source_file = [this] {
    return QFileDialog::getOpenFileName(this, QString(), QString(), kImageFilter);
  };
  ask_target_file = [this] {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix("img");
    dialog.setNameFilter(kImageFilter);
    // Overwriting asks first (the dialog's default).
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().front();
  };

  ask_replace = [this](const QString& path) {
    return QMessageBox::question(this, windowTitle(), Q(kAskBackupReplaceTarget) + "\n" + path,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
  };

  connect(source_disk_, &QPushButton::clicked, this, &CBpDialg::SourceDisk);
  connect(source_file_, &QPushButton::clicked, this, &CBpDialg::SourceFile);
  connect(target_disk_, &QPushButton::clicked, this, &CBpDialg::TargetDisk);
  connect(target_file_, &QPushButton::clicked, this, &CBpDialg::TargetFile);
  connect(start_, &QPushButton::clicked, this, &CBpDialg::Start);
  connect(stop_, &QPushButton::clicked, this, &CBpDialg::Stop);
  // The target receives as many sectors as the source gives; its size field
  // follows so that it never shows another number.
  connect(source_size_, &QLineEdit::textChanged, target_size_, &QLineEdit::setText);
}

void CBpDialg::OpenFor(const DeviceInfo* device) {
  Prepare(device);
  frame_->show_modal(this);
}

void CBpDialg::Prepare(const DeviceInfo* device) {
  if (device) {
    SetSourceDrive(*device);
  } else {
    source_ = BackupEndpoint{};
    ShowSource();
  }
  // The target stays as last chosen; its text says which it is.
  target_text_->setText(Q(EndpointText(target_)));
  progress_->setRange(0, 100);
  progress_->setValue(0);
}

void CBpDialg::SetSourceDrive(const DeviceInfo& drive) {
  source_ = DriveEndpoint(drive);
  ShowSource();
}

void CBpDialg::ShowSource() {
  source_text_->setText(Q(EndpointText(source_)));
  source_offset_->setText("0");
  source_size_->setText(SectorsText(source_.size));
  target_offset_->setText("0");
  target_size_->setText(SectorsText(source_.size));
}

void CBpDialg::SourceDisk() {
  if (const auto drive = ask_drive ? ask_drive() : std::nullopt) SetSourceDrive(*drive);
}

void CBpDialg::SourceFile() { ChooseSourceFile(ask_source_file ? ask_source_file() : QString()); }

void CBpDialg::ChooseSourceFile(const QString& path) {
  if (path.isEmpty()) return;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    // The source stays what it was, and so does its text: the dialog never
    // shows a file it would not copy.
    frame_->Warn(Q(kMsgBackupFileBusy));
    return;
  }
  BackupEndpoint e;
  e.kind = kEndpointFile;
  e.path = S(path);
  e.offset = 0;
  e.size = SectorsCovering(file.size());
  source_ = e;
  ShowSource();
}

void CBpDialg::TargetDisk() {
  const auto drive = ask_drive ? ask_drive() : std::nullopt;
  if (!drive) return;
  BackupEndpoint e;
  e.kind = kEndpointDrive;
  e.device = *drive;
  target_ = e;
  target_text_->setText(Q(EndpointText(target_)));
}

void CBpDialg::TargetFile() { ChooseTargetFile(ask_target_file ? ask_target_file() : QString()); }

void CBpDialg::ChooseTargetFile(const QString& path) {
  if (path.isEmpty()) return;
  BackupEndpoint e;
  e.kind = kEndpointFile;
  e.path = S(path);
  target_ = e;
  target_text_->setText(path);
}

void CBpDialg::Start() {
  BackupRequest request;
  request.source = source_;
  request.target = target_;
  request.source_offset_text = S(source_offset_->text());
  request.source_size_text = S(source_size_->text());
  request.target_offset_text = S(target_offset_->text());
  request.target_size_text = S(target_size_->text());
  const StartResult result = ValidateBackupStart(request, job_, frame_->flags());
  if (!result.started) {
    frame_->Warn(Q(result.warning));
    return;
  }
  // Kept beside the image, so that a copy stopped or crashed over a failing
  // disk goes on where it was when started again.
  job_.map_path = DefaultMapPath(job_.target);
  // The target is kept between openings: a later copy must not silently
  // recreate the image an earlier one made. With its map beside it, the copy
  // resumes into it instead.
  if (TargetFileExists(target_) && !CopyResumesFromMap(job_) &&
      !(ask_replace && ask_replace(Q(target_.path))))
    return;

  CMainFrame* frame = frame_;
  QProgressBar* bar = progress_;
  BackupHooks hooks;
  hooks.log = [frame](std::string_view type, std::string_view text) {
    const QString t = Q(type);
    const QString m = Q(text);
    RunOnGui([frame, &t, &m] { frame->AddLogLine(t, m); });
  };
  // The bar is only told, never waited for; a bar gone with its window
  // drops what is still on the way.
  hooks.progress_range = [bar](int64_t steps) {
    const int top = BarValue(steps);
    QMetaObject::invokeMethod(
        bar,
        [bar, top] {
          bar->setRange(0, top);
          bar->setValue(0);
        },
        Qt::QueuedConnection);
  };
  hooks.progress_position = [bar](int64_t step) {
    const int value = BarValue(step);
    QMetaObject::invokeMethod(
        bar, [bar, value] { bar->setValue(value); }, Qt::QueuedConnection);
  };
  RescueMapView* view = map_view_;
  hooks.map_changed = [view](const RescueMap& map) {
    const RescueMapView::Picture picture = RescueMapView::Draw(map);
    QMetaObject::invokeMethod(
        view, [view, picture] { view->Show(picture); }, Qt::QueuedConnection);
  };
  hooks.close_dialog = [this, frame] {
    // The log goes beside the image before the dialog closes (and the
    // machine perhaps powers off).
    if (job_.target.kind == kEndpointFile) {
      const std::string folder = std::filesystem::absolute(job_.target.path).parent_path().string();
      AppendAuditLog(folder, frame->audit_log().Lines());
    }
    CloseByWorker();
  };
  frame_->StartWorker([this, frame, hooks] { RunBackupJob(job_, frame->flags(), hooks); });
}

void CBpDialg::RequestStop() { job_.stop.store(1); }

void CBpDialg::Stop() {
  RequestStop();
  reject();
}

}  // namespace orvane::gui
