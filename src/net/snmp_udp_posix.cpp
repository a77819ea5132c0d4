#include "net/snmp_udp.h"

bool SnmpPlatformSupported() { return true; }
