#pragma once
// Turning the block summaries of a deep task back into recordings.

#include <cstdint>
#include <vector>

#include "engines/wfs/wfs_blocks.h"
#include "scan/recording_entry.h"

namespace orvane::wfs {

inline constexpr int64_t kChainLimit = 0x80000000;        // a chain stops growing at 2 GiB
inline constexpr int64_t kGroupLimit = 0x3FFFFFFF;        // groups close beyond this
inline constexpr int64_t kSmallRecording = 0xA00000;      // below 10 MiB
inline constexpr int64_t kFollowWindow = 10;              // seconds
inline constexpr int64_t kGroupWindow = 3600;             // seconds
inline constexpr int64_t kLeftoverChannel = 254;
inline constexpr int64_t kSmallGroupChannel = 255;

// True when `r` continues the frame chain that `b` leaves at its end.
bool BlockFollows(const BlockRecord& b, const BlockRecord& r);

// Chains, leftovers and small-recording groups of a version-1 task, appended
// to `out`. `blocks` is sorted by first time (stable) and consumed.
void AssembleBlocks(std::vector<BlockRecord>& blocks, std::vector<RecordingEntry>& out);

// The steps of AssembleBlocks, for callers that need them one by one. Each
// works on blocks sorted by first time; used blocks get length 0.
void ChainBlocks(std::vector<BlockRecord>& blocks, std::vector<RecordingEntry>& out);
void GroupLeftoverBlocks(std::vector<BlockRecord>& blocks, std::vector<RecordingEntry>& out);
void GroupSmallRecordings(std::vector<RecordingEntry>& recordings);

// Version-2 records sorted by start time (stable) into groups below 1 GiB.
void GroupByTime(std::vector<TimedExtent>& records, std::vector<RecordingEntry>& out);

}  // namespace orvane::wfs
