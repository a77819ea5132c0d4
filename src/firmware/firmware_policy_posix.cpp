// No Group Policy here.

#include "firmware/firmware_policy.h"

FirmwarePolicy ReadFirmwarePolicy() {
  return FirmwarePolicy();
}
