#pragma once
// The state of a rescue copy: which parts of the source range have been
// read, which failed and how far each failed part has been worked on. Kept
// as a list of areas in the mapfile layout that GNU ddrescue and ddrescuelog
// read, so a technician's usual tools understand it and a stopped copy
// resumes from it.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Status letters of an area, as the mapfile writes them.
inline constexpr char kAreaNonTried = '?';
inline constexpr char kAreaNonTrimmed = '*';
inline constexpr char kAreaNonScraped = '/';
inline constexpr char kAreaBadSector = '-';
inline constexpr char kAreaFinished = '+';

bool IsAreaStatus(char c);

struct MapArea {
  int64_t pos = 0;
  int64_t size = 0;
  char status = kAreaNonTried;
  int64_t end() const { return pos + size; }
};

// A partition of [begin, end) into areas, neighbours of one status merged.
// Each change costs O(log n) in the number of areas, so a healthy disk read
// block after block stays one area however large it is.
class RescueMap {
 public:
  RescueMap() = default;
  // The whole range non-tried.
  RescueMap(int64_t begin, int64_t size);

  int64_t begin() const { return begin_; }
  int64_t end() const { return end_; }

  // Gives [pos, pos + size) the status; the part outside the range is ignored.
  void Mark(int64_t pos, int64_t size, char status);
  // The areas in order.
  std::vector<MapArea> Areas() const;
  // The first area of `status` that ends after `from`, cut to start at
  // `from` at the earliest; false when none is left.
  bool NextArea(char status, int64_t from, MapArea& out) const;
  // Within [pos, pos + size): the bytes not finished, and where the first of
  // them is (-1 when all are finished). Outside the range nothing counts.
  int64_t UnfinishedBytesIn(int64_t pos, int64_t size) const;
  int64_t FirstUnfinishedIn(int64_t pos, int64_t size) const;
  // Total bytes and number of areas of one status.
  int64_t Bytes(char status) const;
  int64_t Count(char status) const;

  // Where the copy is and what it does, for the mapfile's status line.
  int64_t current_pos = 0;
  char current_status = kAreaNonTried;
  int current_pass = 1;

 private:
  void SplitAt(int64_t at);

  int64_t begin_ = 0;
  int64_t end_ = 0;
  struct Entry {
    int64_t size;
    char status;
  };
  std::map<int64_t, Entry> areas_;  // keyed by position
};

// The map drawn as `cells` equal parts of its range, each with the status
// that most needs attention among the areas it holds: bad over non-trimmed
// over non-scraped over non-tried over finished.
std::vector<char> CellStatuses(const RescueMap& map, int cells);

// The mapfile text: comment lines, the current position line, then one
// "pos size status" line per area, positions and sizes in hexadecimal.
std::string FormatRescueMap(const RescueMap& map, std::string_view first_comment);

// Reads a mapfile. Positions may be hexadecimal ("0x") or decimal; areas
// must follow each other without overlap. A gap or an area past the end is
// refused rather than guessed at: the map says what was read, and a wrong
// guess would leave holes in an image that claims to be complete.
bool ParseRescueMap(std::string_view text, RescueMap& out, std::string& error);

// Whole-file helpers. Saving goes through a temporary file and a rename, so
// a crash leaves either the old map or the new one, never half of one.
bool LoadRescueMap(const std::string& path, RescueMap& out, std::string& error);
bool SaveRescueMap(const std::string& path, const RescueMap& map, std::string_view first_comment);

}  // namespace orvane
