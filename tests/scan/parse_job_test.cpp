#include "scan/parse_job.h"

#include <gtest/gtest.h>

#include "device/notify.h"
#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "scan/worker_flags.h"
#include "synth/test_support.h"
#include "synth/tool_doubles.h"

namespace orvane {
namespace {

ParseRequest Deep(int32_t brand = BrandDahua) {
  ParseRequest r;
  r.start_text = "0";
  r.end_text = "2048";
  r.buffer_text = "2097152";
  r.deep_checked = true;
  r.brand = brand;
  r.path_text = "/tmp/x.tak";
  return r;
}

TEST(ValidateParseStart, RefusesWhatTheDialogRefuses) {
  ScanParameters p;
  WorkerFlags flags;
  auto warning = [&](const ParseRequest& r) { return ValidateParseStart(r, p, flags).warning; };

  ParseRequest none = Deep(0);
  EXPECT_EQ(warning(none), kMsgBadParameters);

  ParseRequest same = Deep();
  same.start_text = same.end_text = "1000";
  EXPECT_EQ(warning(same), kMsgBadParameters);
  same.deep_checked = false;
  same.fast_checked = true;
  EXPECT_TRUE(ValidateParseStart(same, p, flags).started);  // a fast parse ignores the region

  ParseRequest unchosen = Deep();
  unchosen.path_text = std::string(kMsgNoTaskChosen);
  EXPECT_EQ(warning(unchosen), kMsgBadParameters);

  for (const char* buffer : {"0", "", "abc", "99999999999"}) {
    ParseRequest r = Deep();
    r.buffer_text = buffer;
    EXPECT_EQ(warning(r), kMsgBadParameters) << "buffer '" << buffer << "'";
  }

  ParseRequest no_mode = Deep();
  no_mode.deep_checked = false;
  EXPECT_EQ(warning(no_mode), kMsgBadParameters);

  flags.worker_busy.store(1);
  p.brand = BrandWfs;
  EXPECT_EQ(warning(Deep()), kMsgWorkerBusy);
  EXPECT_EQ(p.brand, BrandWfs);  // a refused start changes nothing
}

TEST(ValidateParseStart, FillsTheParameters) {
  ScanParameters p;
  WorkerFlags flags;
  p.stop.store(1);
  ParseRequest r = Deep(BrandZhiling);
  r.start_text = "100";
  r.version1_checked = false;
  r.continue_run = true;
  const StartResult result = ValidateParseStart(r, p, flags);
  ASSERT_TRUE(result.started) << result.warning;
  EXPECT_EQ(p.region_start, 51200);
  EXPECT_EQ(p.region_end, 2048 * 512);
  EXPECT_EQ(p.buffer, 2097152);
  EXPECT_EQ(p.mode, ScanModeDeep);
  EXPECT_EQ(p.version, 2);
  EXPECT_EQ(p.brand, BrandZhiling);
  EXPECT_EQ(p.continue_flag, 1);
  EXPECT_EQ(p.stop.load(), 0);
  EXPECT_EQ(flags.job_kind.load(), JobParse);
  // An empty path passes here; the engine reports it when it cannot create the file.
  r.path_text.clear();
  EXPECT_TRUE(ValidateParseStart(r, p, flags).started);
}

TEST(EditValue, ReadsLeadingDigitsLikeTheDialogs) {
  EXPECT_EQ(EditValue("2048"), 2048);
  EXPECT_EQ(EditValue(" 12abc"), 12);
  EXPECT_EQ(EditValue("abc"), 0);
  EXPECT_EQ(EditValue(""), 0);
  EXPECT_EQ(EditValue("-5"), -5);
  EXPECT_EQ(EditValue("99999999999999999999999"), INT64_MAX);
}

TEST(SmartValue, AUserValueServesExactlyOneParse) {
  ScanParameters p;
  p.brand = BrandDahua;
  p.user_smart_value = 100 * 512;
  EXPECT_EQ(ResolveSmartValue(p), 51200);
  RunParse(p);
  EXPECT_EQ(p.user_smart_value, -1);
  // Without a device nothing is detected and the brand's fallback serves.
  EXPECT_EQ(ResolveSmartValue(p), 0x160000);
  p.brand = BrandHuayi;
  EXPECT_EQ(ResolveSmartValue(p), 0x100000);
  p.brand = BrandHikvision;
  EXPECT_EQ(ResolveSmartValue(p), -1);
}

TEST(RunParse, WithoutASourceEveryBrandReportsTheFailedOpen) {
  for (int32_t brand = BrandHikvision; brand <= BrandZhiling; ++brand) {
    synth::CapturingSink sink;
    ScopedNotifySink scope(&sink);
    ScanParameters p;
    p.brand = brand;
    p.mode = ScanModeDeep;
    RunParse(p);
    EXPECT_TRUE(sink.Has(kMsgOpenSourceFailed)) << "brand " << brand;
  }
}

TEST(ParseJob, RunsInOrderAndPowersOffOnlyWhenAsked) {
  ScanParameters p;
  p.brand = BrandBoli;
  p.mode = ScanModeDeep;
  p.smart_value = 777;
  WorkerFlags flags;
  synth::RecordingPowerOff power(true);
  flags.power_off = &power;

  std::vector<std::string> steps;
  ParseJobHooks hooks;
  hooks.clear_list = [&] {
    EXPECT_EQ(flags.worker_busy.load(), 1);
    steps.push_back("clear");
  };
  hooks.pages_known = [&](int32_t pages) { steps.push_back("pages " + std::to_string(pages)); };
  hooks.log_info = [&](std::string_view t) { steps.push_back(std::string(t)); };
  hooks.list_loaded = [&] { steps.push_back("loaded"); };
  hooks.close_dialog = [&] {
    EXPECT_EQ(flags.worker_busy.load(), 0);
    steps.push_back("close");
  };
  RunParseJob(p, flags, hooks);
  EXPECT_EQ(p.smart_value, 0);  // brands without a detector scan on grid 0
  EXPECT_EQ(power.calls.load(), 0);
  const std::vector<std::string> expected = {
      "clear", "pages 0", std::string(kMsgLoadingTask), "loaded", std::string(kMsgTaskLoaded),
      "close"};
  EXPECT_EQ(steps, expected);

  flags.shutdown_when_done.store(true);
  RunParseJob(p, flags, {});
  EXPECT_EQ(power.calls.load(), 1);
}

TEST(ParseJob, FastModeKeepsTheSmartValueOfDetectorBrands) {
  ScanParameters p;
  p.brand = BrandWfs;
  p.mode = ScanModeFast;
  p.smart_value = 4096;
  WorkerFlags flags;
  RunParseJob(p, flags, {});
  EXPECT_EQ(p.smart_value, 4096);
}

}  // namespace
}  // namespace orvane
