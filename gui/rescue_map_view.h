#pragma once
// The block map of a running backup: the range as a grid of cells coloured
// by what the copy knows of them, with the share rescued and the current
// pass above it.

#include <QWidget>
#include <string>
#include <vector>

namespace orvane {
class RescueMap;
}

namespace orvane::gui {

class RescueMapView : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kColumns = 64;
  static constexpr int kRows = 24;

  explicit RescueMapView(QWidget* parent = nullptr);
  // What the view shows for `map`: cell statuses and caption. Safe on any
  // thread; Show() then puts it on screen.
  struct Picture {
    std::vector<char> cells;
    QString caption;
  };
  static Picture Draw(const RescueMap& map);
  void Show(const Picture& picture);

  const Picture& picture() const { return picture_; }
  QSize sizeHint() const override { return {kColumns * 10, kRows * 10 + 56}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Picture picture_;
};

}  // namespace orvane::gui
