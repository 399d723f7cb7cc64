#pragma once
// The windows of a sequential scan: each read into one buffer, zero wherever
// nothing was read (a failed read, the part behind the request or behind the
// end of the medium), so that the caller never clears a whole buffer before
// a read that fills it anyway.
//
// The windows are read on the caller's thread, in order; the device keeps
// the kernel reading ahead of them (see SequentialPrefetch), so that the
// medium works while the caller searches. Where the caller gives a survey,
// a second thread reads and searches every other window and spares the
// caller those it finds empty. Notifications stay with the caller: a window
// says whether its read failed, and the caller reports it.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "device/scan_bytes.h"
#include "scan/survey_ahead.h"
#include "scan/window_grid.h"

namespace orvane {

class SourceDevice;
class BadAreaSkip;
class ClearRanges;

struct WindowPlan : WindowGrid {
  // Reads that skip ahead after a failure (instead of salvaging), when set.
  BadAreaSkip* skip = nullptr;
  // Stretches known to hold nothing the caller looks for (see ClearRanges):
  // a window whose bytes lie inside one is handed out as zeros, unread. Only
  // for callers that find nothing in zeros and nothing in such a stretch.
  const ClearRanges* known_clear = nullptr;
  // With both set, a second thread reads and searches every other window
  // ahead of the caller (see SurveyAhead); a window it finds empty is handed
  // out as zeros and `clear`, unread. `survey` must say false only of bytes
  // in which the caller would find nothing, and the caller must find
  // nothing in zeros.
  const DeviceInfo* survey_source = nullptr;
  SurveyAhead::Survey survey;
  // With it, the thread also works out what the caller needs of the windows
  // that hold something; such a window comes with its notes, unread.
  SurveyAhead::Notes notes;
  // Works out a window's notes from what is known of it elsewhere and a few
  // small reads of its own on the device given; false for a window to be
  // read as usual. A window so worked out comes with its notes, unread, and
  // `may_take` tells the survey's thread to leave it alone (it is asked on
  // that thread).
  std::function<bool(SourceDevice&, int64_t position, std::vector<uint8_t>& notes)> take;
  SurveyAhead::Leave may_take;
};

// Windows of `window` bytes clipped to the end, `step` apart, each in a
// buffer of its own size.
WindowPlan ClippedWindows(int64_t device_size, int64_t start, int64_t end, int32_t window,
                          int32_t step, BadAreaSkip* skip = nullptr);

class WindowReader {
 public:
  struct Window {
    const uint8_t* data = nullptr;  // `capacity` bytes; zero past what was read
    int64_t position = 0;
    int32_t length = 0;  // bytes asked for at `position`
    bool ok = true;      // false: the read failed (zero behind what it brought, unless salvaged)
    bool clear = false;  // inside a known clear stretch: zeros, not read
    // Worked on by the survey (zeros, not read): what the plan's notes made
    // of its bytes, nothing when it holds nothing.
    const std::vector<uint8_t>* notes = nullptr;
  };
  // Called after a failed read, with the window as it left it (zero behind
  // the bytes in front of the bad spot), to recover what it can.
  using Salvage =
      std::function<void(SourceDevice&, int64_t position, uint8_t* data, int32_t length)>;

  WindowReader(SourceDevice& device, const WindowPlan& plan, Salvage salvage = {});
  // Windows of `window` bytes clipped to the end, `step` apart.
  WindowReader(SourceDevice& device, int64_t device_size, int64_t start, int64_t end,
               int32_t window, int32_t step, BadAreaSkip* skip = nullptr);
  ~WindowReader() = default;
  WindowReader(const WindowReader&) = delete;
  WindowReader& operator=(const WindowReader&) = delete;

  // False when the windows' memory could not be had; Next() then gives none.
  bool usable() const { return usable_; }

  // The next window in order; false past the end. The previous window's
  // bytes may be overwritten once this is called.
  bool Next(Window& out);

 private:
  struct Slot {
    ScanBytes bytes;
    Window window;
    int64_t next = 0;  // where the window after it begins
    std::vector<uint8_t> notes;
  };

  // Reads the window at `position` into `slot`.
  void ReadInto(Slot& slot, int64_t position);
  // Hands out the window at `position` as zeros, unread; false when the
  // zeros could not be had.
  bool HandOutClear(Slot& slot, int64_t position, int32_t length);

  SourceDevice& device_;
  const WindowPlan plan_;
  const Salvage salvage_;
  int64_t position_;  // the next window to hand out
  Slot held_;         // the window handed out
  ZeroBytes zeros_;   // the bytes of a window known clear
  std::unique_ptr<SurveyAhead> ahead_;
  bool usable_ = true;
};

}  // namespace orvane
