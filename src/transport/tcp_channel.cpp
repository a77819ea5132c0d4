#include "transport/tcp_channel.h"

int ParseDottedIPv4(const char* text, uint8_t out[4]) {
  if (!text) return 0;
  const char* p = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (*p != '.') return 0;
      ++p;
    }
    int digits = 0;
    unsigned value = 0;
    while (*p >= '0' && *p <= '9') {
      value = value * 10 + static_cast<unsigned>(*p - '0');
      ++p;
      if (++digits > 3 || value > 255) return 0;
    }
    if (digits == 0) return 0;
    out[part] = static_cast<uint8_t>(value);
  }
  return *p == 0 ? 1 : 0;
}
