// Task records: writing them, reading a page back, damaged task files.

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "device/byte_order.h"
#include "engines/hikvision/hikvision_engine.h"
#include "engines/hikvision/hikvision_record.h"
#include "engines/hikvision/hikvision_test_util.h"
#include "scan/task_file.h"

namespace orvane::test {
namespace {

using hikvision::TaskRecord;

hikvision::TaskRecord Rec(int64_t i) {
  return {1000 + i * 4096, static_cast<int32_t>(512 + i), static_cast<uint8_t>(i % 200),
          static_cast<uint32_t>(1'600'000'000 + i), static_cast<uint32_t>(1'600'000'100 + i)};
}

// A Hikvision task with the records given, written as a parse writes it.
void WriteTask(ScanParameters& p, const std::vector<TaskRecord>& records) {
  p.brand = BrandHikvision;
  p.mode = ScanModeDeep;
  p.version = 1;
  p.head = {};
  p.head.brand = BrandHikvision;
  p.head.mode = ScanModeDeep;
  p.head.version = 1;
  p.head.time_kind = TimePackedAlt;
  TaskWriter w;
  ASSERT_TRUE(w.Open(p));
  ASSERT_TRUE(hikvision::WriteRecords(w, records));
}

TEST(HikvisionTaskRecord, LayoutIsTwentyOneLittleEndianBytes) {
  const TaskRecord r{0x0102030405060708, 0x11223344, 0x55, 0x66778899, 0xAABBCCDD};
  uint8_t b[21];
  hikvision::EncodeRecord(r, b);
  const uint8_t want[21] = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x44, 0x33, 0x22,
                            0x11, 0x55, 0x99, 0x88, 0x77, 0x66, 0xDD, 0xCC, 0xBB, 0xAA};
  EXPECT_EQ(std::vector<uint8_t>(b, b + 21), std::vector<uint8_t>(want, want + 21));
  EXPECT_EQ(hikvision::DecodeRecord(b), r);
}

TEST(HikvisionTaskPage, ReadsEveryRecordInChunksOfAThousand) {
  synth::TempDir dir;
  ScanParameters p;
  p.task_path = dir.File("t.tak");
  std::vector<TaskRecord> records;
  // More than one 2 MiB write batch, so the batches must join up in order.
  for (int64_t i = 0; i < 100'001; ++i) records.push_back(Rec(i));
  WriteTask(p, records);
  EXPECT_EQ(p.head.file_length, 49 + 100'001 * 21);

  StepSink sink;
  ScopedNotifySink scoped(&sink);
  LoadTaskPage(p, 0);
  ASSERT_EQ(p.recordings.size(), records.size());
  EXPECT_EQ(sink.found().size(), 101u);  // 100 chunks of 1,000 and one of 1
  EXPECT_EQ(sink.found().back().found_count, 100'001);
  for (size_t i : {size_t{0}, size_t{999}, size_t{1000}, size_t{100'000}}) {
    const RecordingEntry& e = p.recordings[i];
    const TaskRecord& r = records[i];
    EXPECT_EQ(e.channel, r.channel);
    EXPECT_EQ(e.start_time, r.start_time);
    EXPECT_EQ(e.end_time, r.end_time);
    EXPECT_EQ(e.size, r.length);
    EXPECT_EQ(e.fragments[0], (FragmentExtent{r.offset, static_cast<uint32_t>(r.length)}));
  }
  EXPECT_EQ(p.head.time_kind, TimePackedAlt);
  EXPECT_EQ(TaskPageCount(p), 1);
  LoadTaskPage(p, 1);
  EXPECT_TRUE(p.recordings.empty());
}

TEST(HikvisionTaskPage, ZeroLengthEndsOnlyItsChunk) {
  synth::TempDir dir;
  ScanParameters p;
  p.task_path = dir.File("t.tak");
  std::vector<TaskRecord> records;
  for (int64_t i = 0; i < 1500; ++i) records.push_back(Rec(i));
  records[5].length = 0;
  WriteTask(p, records);
  ScopedNotifySink scoped(nullptr);
  LoadTaskPage(p, 0);
  ASSERT_EQ(p.recordings.size(), 5u + 500u);
  EXPECT_EQ(p.recordings[5].fragments[0].offset, Rec(1000).offset);
}

TEST(HikvisionTaskPage, RefusesOtherModesAndVersions) {
  synth::TempDir dir;
  ScanParameters p;
  p.task_path = dir.File("t.tak");
  WriteTask(p, {Rec(0)});
  ScopedNotifySink scoped(nullptr);
  p.version = 3;
  LoadTaskPage(p, 0);
  EXPECT_TRUE(p.recordings.empty());
  p.version = 2;
  p.mode = 0;
  LoadTaskPage(p, 0);
  EXPECT_TRUE(p.recordings.empty());
}

TEST(HikvisionTaskPage, DamagedFilesLoadWhatTheyHold) {
  synth::TempDir dir;
  ScanParameters p;
  p.task_path = dir.File("t.tak");
  std::vector<TaskRecord> records;
  for (int64_t i = 0; i < 30; ++i) records.push_back(Rec(i));
  records[3].length = -5;         // no parse writes this
  records[4].offset = -4096;
  records[6].offset = INT64_MAX - 100;  // ends past the largest offset
  WriteTask(p, records);
  ScopedNotifySink scoped(nullptr);

  // Cut inside the last record; the head still claims all of them and more.
  std::filesystem::resize_file(p.task_path, 49 + 29 * 21 + 10);
  {
    std::fstream f(p.task_path, std::ios::in | std::ios::out | std::ios::binary);
    uint8_t len[8];
    StoreLE64(len, 49 + 1'000'000'000LL * 21);
    f.write(reinterpret_cast<char*>(len), 8);
  }
  LoadTaskPage(p, 0);
  EXPECT_EQ(p.recordings.size(), 26u);  // 29 whole records, three of them impossible
  EXPECT_EQ(p.recordings[3].fragments[0].offset, Rec(5).offset);

  // A head only.
  std::filesystem::resize_file(p.task_path, 30);
  LoadTaskPage(p, 0);
  EXPECT_TRUE(p.recordings.empty());

  // Noise behind a head whose length is negative, then whose length is huge.
  for (int64_t claimed : {int64_t{-100}, INT64_MAX}) {
    std::vector<uint8_t> bytes(49 + 21 * 700);
    std::mt19937 rng(static_cast<uint32_t>(claimed));
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    StoreLE64(bytes.data(), static_cast<uint64_t>(claimed));
    StoreLE32(bytes.data() + 36, ScanModeDeep);
    StoreLE32(bytes.data() + 40, BrandHikvision);
    StoreLE32(bytes.data() + 44, 1);
    std::ofstream(p.task_path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    LoadTaskPage(p, 0);
    EXPECT_LE(p.recordings.size(), 700u);
    for (const auto& e : p.recordings) {
      EXPECT_GT(e.size, 0);
      EXPECT_GE(e.fragments[0].offset, 0);
    }
    LoadTaskPage(p, 1'000'000);
    EXPECT_TRUE(p.recordings.empty());
  }

  // A missing file.
  StepSink sink;
  ScopedNotifySink loud(&sink);
  p.task_path = dir.File("missing.tak");
  LoadTaskPage(p, 0);
  EXPECT_EQ(sink.Count("打开任务文件失败"), 1);
}

}  // namespace
}  // namespace orvane::test
