#include "engines/dahua/dahua_variant.h"

#include "scan/scan_parameters.h"

namespace orvane {

namespace {

constexpr DahuaVariant kDahua{
    BrandDahua, 0x56414844u /* "DHAV" */, 0x3D34, 0x3C48, 0x1C, {0x4400, 0x8400}, 2, false,
    0x160000,
    "正在快速解析大华监控录像...", "快速解析大华监控录像任务完成",
    "正在深度解析大华监控录像...", "深度解析大华监控录像任务完成",
    "此设备可能不是大华监控系统"};

constexpr DahuaVariant kHuayi{
    BrandHuayi, 0x56415948u /* "HYAV" */, 0x710, 0x628, 0x18, {0x4400, 0}, 1, true,
    0x100000,
    "正在快速解析华亿监控录像...", "快速解析华亿监控录像任务完成",
    "正在深度解析华亿监控录像...", "深度解析华亿监控录像任务完成",
    "此设备不是华亿监控系统"};

constexpr DahuaVariant kMeidianBell{
    BrandMeidianBell, 0x56414C5Au /* "ZLAV" */, 0x3D34, 0x3C48, 0x1C, {0x4400, 0x8400}, 2, false,
    0x120000,
    "正在快速解析美电贝尔监控录像...", "快速解析美电贝尔监控录像任务完成",
    "正在深度解析美电贝尔监控录像...", "深度解析美电贝尔监控录像任务完成",
    "此设备可能不是美电贝尔监控系统"};

constexpr DahuaVariant kZhiling{
    BrandZhiling, 0x56414C5Au /* "ZLAV" */, 0x710, 0x628, 0x18, {0x4400, 0}, 1, false,
    0x160000,
    "正在快速解析智灵监控录像...", "快速解析智灵监控录像任务完成",
    "正在深度解析智灵监控录像...", "深度解析智灵监控录像任务完成",
    "此设备可能不是智灵监控系统"};

}  // namespace

const DahuaVariant* FindDahuaVariant(int32_t brand) {
  switch (brand) {
    case BrandDahua:
      return &kDahua;
    case BrandHuayi:
      return &kHuayi;
    case BrandMeidianBell:
      return &kMeidianBell;
    case BrandZhiling:
      return &kZhiling;
    default:
      return nullptr;
  }
}

const DahuaVariant& DahuaVariantFor(int32_t brand) {
  const DahuaVariant* v = FindDahuaVariant(brand);
  return v ? *v : kDahua;
}

}  // namespace orvane
