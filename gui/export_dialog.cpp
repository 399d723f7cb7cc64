#include "export_dialog.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "clock_offset_field.h"
#include "device/notify.h"
#include "dialog_parts.h"
#include "file_view.h"
#include "gui_thread.h"
#include "main_frame.h"
#include "recording_model.h"
#include "recordings/export.h"
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
  progress_ = AddProgressBar(layout, this);
  AddButtonRow(layout, this, {{"开始", &start_}, {"停止", &stop_}});
  start_->setAutoDefault(false);
  resize(480, 120);

  ask_folder = [this] { return QFileDialog::getExistingDirectory(this, "please select path"); };
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
  frame_->flags().job_kind.store(JobExport);
  CMainFrame* frame = frame_;
  RecordingModel* model = frame_->file_view()->model();
  const std::string base = S(base_);
  const ExportMode mode = mode_;
  const int row = row_;
  StartClosingJob([frame, model, base, mode, row] {
    ExportRequest request;
    request.base_folder = base;
    request.mode = mode == ExportMode::Single ? ExportSingle : ExportTicked;
    request.row = row;
    std::vector<EvidenceFile> evidence;
    RunExport(frame->params(), model->rows(), request, [model, &evidence](const ExportedFile& f) {
      if (f.created)
        evidence.push_back({static_cast<int64_t>(model->rows().EntryIndex(f.row)),
                            &model->rows().Entry(f.row), f});
      // The worker unticks rows as their files are done; the list repaints.
      PostToGui([model] { model->TicksChanged(); });
    });
    // Before the dialog closes (and the machine perhaps powers off): the
    // report, the checksums and the log go beside the files.
    if (!RecordExportEvidence(frame->params(), base, evidence, frame->audit_log().Lines()))
      PostError("报告写入失败: " + base);
  });
}

void CExportDialog::Stop() { frame_->params().stop.store(1); }

}  // namespace orvane::gui
