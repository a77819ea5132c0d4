#pragma once
// The standard TCP/IP port monitor's "GetConfigInfo" transceiver request: a
// CONFIG_INFO_DATA_1 goes in, a PORT_DATA_1 comes back. The SDK's layout,
// spelled with fixed-size types (WCHAR as uint16_t) so the portable lookup
// reads the answer and a test monitor can write one.

#include <cstddef>
#include <cstdint>

constexpr uint32_t TCP_CONFIG_INFO_VERSION = 1;
constexpr uint32_t TCP_PROTOCOL_RAW = 1;  // PROTOCOL_RAWTCP_TYPE
constexpr uint32_t TCP_PROTOCOL_LPR = 2;  // PROTOCOL_LPR_TYPE

struct TcpConfigInfoData1 {
  uint8_t reserved[128];
  uint32_t version;
};

struct TcpPortData1 {
  uint16_t portName[64];
  uint32_t version;
  uint32_t protocol;
  uint32_t size;
  uint32_t reserved;
  uint16_t hostAddress[49];
  uint16_t snmpCommunity[33];
  uint32_t doubleSpool;
  uint16_t queue[33];
  uint16_t ipAddress[16];
  uint8_t reserved2[540];
  uint32_t portNumber;
  uint32_t snmpEnabled;
  uint32_t snmpDevIndex;
};

static_assert(sizeof(TcpConfigInfoData1) == 132, "CONFIG_INFO_DATA_1 layout");
static_assert(offsetof(TcpPortData1, protocol) == 132, "PORT_DATA_1 layout");
static_assert(offsetof(TcpPortData1, portNumber) == 952, "PORT_DATA_1 layout");
static_assert(sizeof(TcpPortData1) == 964, "PORT_DATA_1 layout");
