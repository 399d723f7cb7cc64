#include "engines/wfs/wfs_read.h"

#include "device/notify.h"
#include "device/source_device.h"
#include "scan/salvage_read.h"

namespace orvane::wfs {

bool ReadSalvaging(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length) {
  device.Read(offset, buffer, length);
  if (device.ok()) return true;
  PostError(kMsgReadFailed);
  SalvageFailedRead(device, offset, buffer, length);
  return false;
}

}  // namespace orvane::wfs
