#include "export_dialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <tuple>

#include "device/format_text.h"
#include "clock_offset_field.h"
#include "device/notify.h"
#include "dialog_parts.h"
#include "file_view.h"
#include "gui_thread.h"
#include "main_frame.h"
#include "media/media_formats.h"
#include "recording_model.h"
#include "recordings/export.h"
#include "scan/speed_text.h"
#include "recordings/export_evidence.h"

namespace orvane::gui {

CExportDialog::CExportDialog(CMainFrame* frame, QWidget* parent) : WorkerDialog(frame, parent) {
  setWindowTitle("导出文件");
  setObjectName("export_dialog");
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  path_ = new QLineEdit(this);
  path_->setReadOnly(true);
  browse_ = new QPushButton("...", this);
  browse_->setFixedWidth(32);
  row->addWidget(new QLabel("路径:", this));
  row->addWidget(path_);
  row->addWidget(browse_);
  layout->addLayout(row);
  clock_offset_ = AddClockOffsetRow(layout, this);
  auto* format_row = new QHBoxLayout;
  format_ = new QComboBox(this);
  format_->addItem("原始格式");
  format_->addItem("MP4");
  format_row->addWidget(new QLabel("格式:", this));
  format_row->addWidget(format_, 1);
  layout->addLayout(format_row);
  progress_ = AddProgressBar(layout, this);
  progress_text_ = new QLabel(this);
  progress_text_->setObjectName("export_progress_text");
  progress_text_->setTextFormat(Qt::PlainText);
  layout->addWidget(progress_text_);
  AddButtonRow(layout, this, {{"开始", &start_}, {"停止", &stop_}});
  start_->setAutoDefault(false);
  resize(560, 160);

  ask_folder = [this] { return QFileDialog::getExistingDirectory(this, "please select path"); };
  ask_source = [this] {
    return QFileDialog::getOpenFileName(this, "源设备", QString(),
                                        "IMG Files (*.img);;DSK Files (*.dsk);;All Files (*.*)");
  };
  connect(browse_, &QPushButton::clicked, this,
          [this] { ChooseFolder(ask_folder ? ask_folder() : QString()); });
  connect(start_, &QPushButton::clicked, this, &CExportDialog::Start);
  connect(stop_, &QPushButton::clicked, this, &CExportDialog::Stop);
}

void CExportDialog::Prepare(ExportMode mode, int row) {
  mode_ = mode;
  row_ = row;
  path_->clear();
  clock_offset_->setText(ClockOffsetField(frame_->params()));
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_text_->clear();
  totals_ = ExportTotals{};
  position_bytes_ = 0;
  next_row_ = mode == ExportMode::Single ? row : 0;
  current_name_.clear();
}

void CExportDialog::OpenFor(ExportMode mode, int row) {
  Prepare(mode, row);
  frame_->show_modal(this);
}

void CExportDialog::ChooseFolder(const QString& folder) {
  QString path = folder;
  // A drive root's trailing separator goes, so that names join cleanly.
  if (path.size() > 1 && (path.endsWith('/') || path.endsWith('\\'))) path.chop(1);
  path_->setText(path);
}

void CExportDialog::Start() {
  if (frame_->RefuseWhileBusy()) return;
  frame_->params().stop.store(0);
  base_ = path_->text();
  if (base_.isEmpty() || !ApplyClockOffsetField(clock_offset_, frame_)) {
    frame_->Warn("参数设置错误，请重新设置");
    return;
  }
  if (!frame_->source() && !ChooseSource()) {
    frame_->Warn("参数设置错误，请重新设置");
    return;
  }
  frame_->flags().job_kind.store(JobExport);
  CMainFrame* frame = frame_;
  RecordingModel* model = frame_->file_view()->model();
  totals_ = ExportTotals{};
  if (mode_ == ExportMode::Single) {
    if (row_ >= 0 && row_ < model->row_count()) {
      totals_.total_count = 1;
      totals_.total_size = model->Entry(row_).size;
    }
  } else {
    std::tie(totals_.total_count, totals_.total_size) = model->TickedTotals();
  }
  position_bytes_ = 0;
  next_row_ = mode_ == ExportMode::Single ? row_ : 0;
  current_name_.clear();
  started_second_ = frame_->now_seconds();
  ShowProgressText();
  const std::string base = S(base_);
  const ExportMode mode = mode_;
  const int row = row_;
  const ExportFormat format = format_->currentIndex() == 1 ? ExportFormat::Mp4 : ExportFormat::Raw;
  // The desktop program always has the media libraries.
  if (format == ExportFormat::Mp4) RegisterMediaFormats();
  StartClosingJob([frame, model, base, mode, row, format] {
    ExportRequest request;
    request.format = format;
    request.base_folder = base;
    request.mode = mode == ExportMode::Single ? ExportSingle : ExportTicked;
    request.row = row;
    CExportDialog* dialog = frame->export_dialog();
    std::vector<EvidenceFile> evidence;
    RunExport(frame->params(), model->rows(), request,
              [model, dialog, &evidence](const ExportedFile& f) {
      if (f.created)
        evidence.push_back({static_cast<int64_t>(model->rows().EntryIndex(f.row)),
                            &model->rows().Entry(f.row), f});
      // The worker unticks rows as their files are done; the list repaints.
      const size_t row = f.row;
      const bool complete = f.created && f.complete;
      PostToGui([model, dialog, row, complete] {
        model->TicksChanged();
        dialog->OnFileDone(row, complete);
      });
    });
    // Before the dialog closes (and the machine perhaps powers off): the
    // report, the checksums and the log go beside the files.
    if (!RecordExportEvidence(frame->params(), base, evidence, frame->audit_log().Lines()))
      PostError("报告写入失败: " + base);
  });
}

bool CExportDialog::ChooseSource() {
  const QString path = ask_source ? ask_source() : QString();
  if (path.isEmpty()) return false;
  const QString full = QFileInfo(path).absoluteFilePath();
  frame_->OpenImageFiles({full});
  for (const DeviceInfo& d : frame_->devices()) {
    if (d.kind == kDeviceKindImage && Q(d.name) == full) {
      frame_->SetSource(&d);
      return true;
    }
  }
  return false;
}

void CExportDialog::Stop() { frame_->params().stop.store(1); }

void CExportDialog::OnRecordingStarted(int64_t steps) {
  // A recording under one step still gets a bar that fills, not a busy one.
  progress_->setRange(0, std::max(BarValue(steps), 1));
  progress_->setValue(0);
  position_bytes_ = 0;
  // The export takes the rows in order: this one is the next it would take.
  RecordingModel* model = frame_->file_view()->model();
  int row = next_row_;
  if (mode_ == ExportMode::Ticked)
    while (row < model->row_count() && !model->IsTicked(row)) ++row;
  current_name_.clear();
  if (row >= 0 && row < model->row_count())
    current_name_ =
        QString("%1-%2-%3.dav")
            .arg(model->CellText(row, 0), model->CellText(row, 3), model->CellText(row, 4));
  ShowProgressText();
}

void CExportDialog::OnPosition(int64_t step) {
  progress_->setValue(BarValue(step));
  position_bytes_ = step * kExportChunk;
  ShowProgressText();
}

void CExportDialog::OnTotals(const ExportTotals& totals) {
  totals_ = totals;
  position_bytes_ = 0;
  ShowProgressText();
}

void CExportDialog::OnFileDone(size_t row, bool complete) {
  next_row_ = static_cast<int>(row) + 1;
  progress_->setValue(progress_->maximum());
  position_bytes_ = 0;
  // Single mode sends no totals of its own.
  if (mode_ == ExportMode::Single && complete) {
    totals_.done_count = totals_.total_count;
    totals_.done_size = totals_.total_size;
  }
  ShowProgressText();
}

void CExportDialog::ShowProgressText() {
  const int64_t done = std::min(totals_.done_size + position_bytes_, totals_.total_size);
  const int64_t current = std::min(totals_.done_count + 1, totals_.total_count);
  QString text = QString("当前文件: %1\n%2 / %3   %4 / %5")
                     .arg(current_name_)
                     .arg(current)
                     .arg(totals_.total_count)
                     .arg(Q(FormatSize(done)).isEmpty() ? QString("0") : Q(FormatSize(done)))
                     .arg(Q(FormatSize(totals_.total_size)));
  const std::string speed =
      SpeedText(done, totals_.total_size, frame_->now_seconds() - started_second_);
  if (!speed.empty()) text += "   " + Q(speed);
  progress_text_->setText(text);
}

}  // namespace orvane::gui
