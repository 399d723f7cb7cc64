#include "update_dialog.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui_thread.h"
#include "main_frame.h"
#include "tools/version_check.h"

namespace orvane::gui {

CUpdateDialog::CUpdateDialog(CMainFrame* frame, QWidget* parent) : QDialog(parent) {
  setWindowTitle("版本升级");
  setObjectName("update_dialog");
  setModal(true);
  // In front of everything: it appears by itself, maybe while another
  // window has the focus.
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  current_ = new QLineEdit(this);
  newest_ = new QLineEdit(this);
  current_->setReadOnly(true);
  newest_->setReadOnly(true);
  form->addRow("当前版本:", current_);
  form->addRow("最新版本:", newest_);
  layout->addLayout(form);
  download_ = new QPushButton("进入下载页面", this);
  download_->setAutoDefault(false);
  layout->addWidget(download_);
  // The dialog stays open: the user may want to read the numbers again.
  connect(download_, &QPushButton::clicked, frame, &CMainFrame::OpenDownloadPage);
}

void CUpdateDialog::SetVersions(int32_t current, int32_t newest) {
  current_->setText(Q(VersionText(current)));
  newest_->setText(Q(VersionText(newest)));
}

}  // namespace orvane::gui
