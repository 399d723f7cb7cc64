#pragma once
// One found recording and where it lies on the source device.
//
// A loaded page can hold 20,000,000 entries, nearly all of one fragment, so
// the fragment list keeps its first extent inline and allocates only for
// recordings that have more.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "scan/found_by.h"

namespace orvane {

struct FragmentExtent {
  int64_t offset = 0;   // absolute byte offset on the source
  uint32_t length = 0;  // bytes from the offset
  bool operator==(const FragmentExtent&) const = default;
};

class FragmentList {
 public:
  FragmentList() noexcept : inline_() {}
  FragmentList(const FragmentList& o) : inline_() { *this = o; }
  FragmentList(FragmentList&& o) noexcept : inline_() { *this = std::move(o); }
  FragmentList& operator=(const FragmentList& o);
  FragmentList& operator=(FragmentList&& o) noexcept;
  ~FragmentList() { Release(); }

  void push_back(const FragmentExtent& f);
  void clear();
  uint32_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  const FragmentExtent& operator[](uint32_t i) const { return data()[i]; }
  FragmentExtent& operator[](uint32_t i) { return data()[i]; }
  const FragmentExtent* begin() const { return data(); }
  const FragmentExtent* end() const { return data() + count_; }
  FragmentExtent& back() { return data()[count_ - 1]; }
  const FragmentExtent& back() const { return data()[count_ - 1]; }

 private:
  FragmentExtent* data() { return capacity_ > 1 ? heap_ : &inline_; }
  const FragmentExtent* data() const { return capacity_ > 1 ? heap_ : &inline_; }
  void Release();

  union {
    FragmentExtent inline_;
    FragmentExtent* heap_;
  };
  uint32_t count_ = 0;
  uint32_t capacity_ = 1;
};

struct RecordingEntry {
  int64_t channel = 0;
  uint32_t start_time = 0;
  uint32_t start_time2 = 0;  // companion word, carried, never shown
  uint32_t end_time = 0;
  uint32_t end_time2 = 0;
  int64_t size = 0;  // bytes as the engine computed them
  FragmentList fragments;
  FoundBy found_by = FoundBy::Unknown;
};

inline FragmentList& FragmentList::operator=(const FragmentList& o) {
  if (this == &o) return *this;
  clear();
  for (const auto& f : o) push_back(f);
  return *this;
}

inline FragmentList& FragmentList::operator=(FragmentList&& o) noexcept {
  if (this == &o) return *this;
  Release();
  count_ = o.count_;
  capacity_ = o.capacity_;
  if (capacity_ > 1) {
    heap_ = o.heap_;
  } else {
    inline_ = o.inline_;
  }
  o.count_ = 0;
  o.capacity_ = 1;
  o.inline_ = FragmentExtent{};
  return *this;
}

inline void FragmentList::Release() {
  if (capacity_ > 1) delete[] heap_;
  capacity_ = 1;
  count_ = 0;
  inline_ = FragmentExtent{};
}

inline void FragmentList::clear() { Release(); }

inline void FragmentList::push_back(const FragmentExtent& f) {
  if (count_ == capacity_) {
    uint32_t cap = capacity_ * 2;
    auto* grown = new FragmentExtent[cap];
    if (capacity_ > 1) {
      std::copy(heap_, heap_ + count_, grown);
      delete[] heap_;
    } else {
      grown[0] = inline_;  // the inline slot holds exactly one
    }
    heap_ = grown;
    capacity_ = cap;
  }
  data()[count_++] = f;
}

}  // namespace orvane
