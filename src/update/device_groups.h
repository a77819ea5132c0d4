#pragma once
// Which queues of a run are one printer. A print server often holds several
// queues for one device (a PCL and a PostScript queue, one with duplex on):
// a run writes each device once, or it would get two image streams at once.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "printer/port_address.h"
#include "update/printer_record.h"

// Where a queue prints to: a network port by its resolved address and the
// TCP port there (or, with no address, by its port), USB and parallel by
// their port. The raw ports of a print server with several printers share
// its address. An empty port: not known (a name that is not installed), a
// device of its own.
struct DeviceKey {
  PortKind kind = PORT_NETWORK;
  std::wstring port;
  std::wstring address;
  uint16_t tcpPort = PORT_PRINTER_RAW_TCP;
};

// For each queue, the index of the queue that carries its device's update:
// the first in list order with the same device (its own index when it is
// that first one).
std::vector<size_t> DeviceCarriers(const std::vector<DeviceKey>& keys);
