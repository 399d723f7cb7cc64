#include "preview_window.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <chrono>

#include "device/source_device.h"
#include "file_view.h"
#include "gui_thread.h"
#include "main_frame.h"
#include "media/picture_decoder.h"
#include "recording_model.h"
#include "scan/scan_parameters.h"

namespace orvane::gui {

namespace {
constexpr int kThumbWidth = 160;
constexpr int kThumbHeight = 120;
constexpr int64_t kDefaultFrameMs = 40;

QImage ToImage(const Picture& p) {
  return QImage(p.rgb.data(), p.width, p.height, p.width * 3, QImage::Format_RGB888).copy();
}
}  // namespace

QString PreviewTimeText(int64_t time_ms) {
  return QDateTime::fromMSecsSinceEpoch(time_ms, Qt::UTC).toString("yyyy-MM-dd HH-mm-ss");
}

CPreviewWindow::CPreviewWindow(CMainFrame* frame, QWidget* parent)
    : QDialog(parent), frame_(frame) {
  setWindowTitle("视频预览");
  setObjectName("preview_window");
  auto* layout = new QVBoxLayout(this);
  screen_ = new QLabel(this);
  screen_->setObjectName("preview_screen");
  screen_->setAlignment(Qt::AlignCenter);
  screen_->setMinimumSize(320, 240);
  layout->addWidget(screen_, 1);
  auto* controls = new QHBoxLayout;
  play_ = new QPushButton("暂停", this);
  step_ = new QPushButton("单步", this);
  time_ = new QLabel(this);
  controls->addWidget(play_);
  controls->addWidget(step_);
  controls->addWidget(time_, 1);
  layout->addLayout(controls);
  message_ = new QLabel(this);
  message_->setObjectName("preview_message");
  layout->addWidget(message_);
  strip_ = new QListWidget(this);
  strip_->setObjectName("preview_strip");
  strip_->setViewMode(QListView::IconMode);
  strip_->setFlow(QListView::LeftToRight);
  strip_->setWrapping(false);
  strip_->setMovement(QListView::Static);
  strip_->setIconSize(QSize(kThumbWidth, kThumbHeight));
  strip_->setFixedHeight(kThumbHeight + 48);
  layout->addWidget(strip_);
  resize(720, 560);

  connect(strip_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { PlayFrom(item->data(Qt::UserRole).toLongLong()); });
  connect(play_, &QPushButton::clicked, this, &CPreviewWindow::TogglePause);
  connect(step_, &QPushButton::clicked, this, &CPreviewWindow::Step);
}

CPreviewWindow::~CPreviewWindow() { StopAll(); }

void CPreviewWindow::closeEvent(QCloseEvent* event) {
  StopAll();
  event->accept();
}

void CPreviewWindow::StopPlayback() {
  play_stop_.store(true);
  if (play_worker_.joinable()) play_worker_.join();
  play_stop_.store(false);
  // The stopped worker's last posts, still queued, no longer count.
  ++play_generation_;
  play_running_.store(0);
}

void CPreviewWindow::StopAll() {
  StopPlayback();
  strip_stop_.store(true);
  if (strip_worker_.joinable()) strip_worker_.join();
  strip_stop_.store(false);
  ++strip_generation_;
  strip_running_.store(0);
}

void CPreviewWindow::OpenFor(int row) {
  StopAll();
  RecordingModel* model = frame_->file_view()->model();
  if (row < 0 || row >= model->row_count()) return;
  row_ = row;
  entry_ = model->Entry(row);
  brand_ = frame_->params().brand;
  time_kind_ = frame_->params().head.time_kind;
  strip_->clear();
  screen_->clear();
  time_->clear();
  message_->clear();
  show();
  raise();

  const DeviceInfo* source = frame_->params().source;
  if (!source) {
    message_->setText(Q(kMsgOpenSourceFailed));
    return;
  }
  QPointer<CPreviewWindow> self(this);
  const DeviceInfo device = *source;
  const uint64_t generation = ++strip_generation_;
  strip_running_.store(1);
  strip_worker_ = std::thread(
      [self, this, device, entry = entry_, brand = brand_, kind = time_kind_, generation] {
        SourceDevice dev;
        dev.Open(device, kGenericRead);
        ScanParameters p;
        p.brand = brand;
        p.head.time_kind = kind;
        int count = 0;
        if (dev.is_open()) {
          count = KeyFramePictures(
              p, dev, entry,
              [&](Picture&& picture) {
                const QImage image = ToImage(picture).scaled(
                    kThumbWidth, kThumbHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
                const int64_t t = picture.time_ms;
                PostToGui([self, image, t, generation] {
                  if (!self || self->strip_generation_ != generation) return;
                  auto* item =
                      new QListWidgetItem(QIcon(QPixmap::fromImage(image)), PreviewTimeText(t));
                  item->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(t));
                  self->strip_->addItem(item);
                  // The first key frame shows at once, before anything is played.
                  if (self->strip_->count() == 1 && self->screen_->pixmap().isNull())
                    self->screen_->setPixmap(QPixmap::fromImage(image));
                });
                return !strip_stop_.load();
              },
              kThumbWidth, kThumbHeight);
        }
        const bool opened = dev.is_open();
        PostToGui([self, count, opened, generation] {
          if (!self || self->strip_generation_ != generation) return;
          if (count == 0)
            self->message_->setText(Q(opened ? kMsgCannotDecode : kMsgOpenSourceFailed));
          self->strip_running_.store(0);
        });
      });
}

void CPreviewWindow::ShowPicture(const QImage& image, int64_t time_ms) {
  screen_->setPixmap(QPixmap::fromImage(image).scaled(screen_->size(), Qt::KeepAspectRatio,
                                                      Qt::SmoothTransformation));
  time_->setText(PreviewTimeText(time_ms));
}

void CPreviewWindow::PlayFrom(int64_t time_ms) {
  StopPlayback();
  const DeviceInfo* source = frame_->params().source;
  if (!source || row_ < 0) return;
  paused_.store(false);
  steps_.store(0);
  play_->setText("暂停");
  QPointer<CPreviewWindow> self(this);
  const uint64_t generation = ++play_generation_;
  play_running_.store(1);
  play_worker_ = std::thread([self, this, device = *source, entry = entry_, brand = brand_,
                              kind = time_kind_, time_ms, generation] {
    SourceDevice dev;
    dev.Open(device, kGenericRead);
    ScanParameters p;
    p.brand = brand;
    p.head.time_kind = kind;
    PictureDecoder decoder(p, dev, entry, time_ms);
    Picture picture;
    int64_t last_ms = -1;
    bool any = false;
    auto due = std::chrono::steady_clock::now();
    while (!play_stop_.load()) {
      if (paused_.load() && steps_.load() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        due = std::chrono::steady_clock::now();
        continue;
      }
      if (!decoder.Next(picture)) break;
      any = true;
      if (steps_.load() > 0) steps_.fetch_sub(1);
      // The recording's own pace: the gap between the frames' recorder
      // times, or one frame at 25 a second where they share a second.
      const int64_t gap = last_ms >= 0 ? picture.time_ms - last_ms : 0;
      last_ms = picture.time_ms;
      due += std::chrono::milliseconds(gap > 0 && gap < 1000 ? gap : kDefaultFrameMs);
      const QImage image = ToImage(picture);
      const int64_t t = picture.time_ms;
      PostToGui([self, image, t, generation] {
        if (self && self->play_generation_ == generation) self->ShowPicture(image, t);
      });
      if (!paused_.load()) std::this_thread::sleep_until(due);
    }
    PostToGui([self, any, generation] {
      if (!self || self->play_generation_ != generation) return;
      if (!any) self->message_->setText(Q(kMsgCannotDecode));
      self->play_running_.store(0);
    });
  });
}

void CPreviewWindow::TogglePause() {
  const bool now = !paused_.load();
  paused_.store(now);
  play_->setText(now ? "播放" : "暂停");
}

void CPreviewWindow::Step() {
  paused_.store(true);
  play_->setText("播放");
  steps_.fetch_add(1);
}

}  // namespace orvane::gui
