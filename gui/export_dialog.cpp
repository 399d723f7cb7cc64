#include "export_dialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialog_parts.h"
#include "file_view.h"
#include "gui_thread.h"
#include "main_frame.h"
#include "recording_model.h"
#include "recordings/export.h"

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
  auto* format_row = new QHBoxLayout;
  format_ = new QComboBox(this);
  format_->addItem("原始格式");
  format_->addItem("MP4");
  format_row->addWidget(new QLabel("格式:", this));
  format_row->addWidget(format_, 1);
  layout->addLayout(format_row);
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
  if (base_.isEmpty()) {
    frame_->Warn("参数设置错误，请重新设置");
    return;
  }
  frame_->flags().job_kind.store(JobExport);
  CMainFrame* frame = frame_;
  RecordingModel* model = frame_->file_view()->model();
  const std::string base = S(base_);
  const ExportMode mode = mode_;
  const int row = row_;
  const ExportFormat format = format_->currentIndex() == 1 ? ExportFormat::Mp4 : ExportFormat::Raw;
  StartClosingJob([frame, model, base, mode, row, format] {
    ExportRequest request;
    request.format = format;
    request.base_folder = base;
    request.mode = mode == ExportMode::Single ? ExportSingle : ExportTicked;
    request.row = row;
    RunExport(frame->params(), model->rows(), request, [model](const ExportedFile&) {
      // The worker unticks rows as their files are done; the list repaints.
      PostToGui([model] { model->TicksChanged(); });
    });
  });
}

void CExportDialog::Stop() { frame_->params().stop.store(1); }

}  // namespace orvane::gui
