#pragma once
// The 16-bit checksum that guards every image and package sent to the printer.

#include <cstddef>
#include <cstdint>

// Sum of the buffer as big-endian 16-bit words (a trailing odd byte is added
// unshifted), folded into 16 bits and complemented. The whole 32-bit result is
// returned: its low 16 bits are the checksum, its high 16 bits are 0xFFFF. The
// SPI trailer sends all 32 bits; the burn command carries the low 16.
uint32_t AclChecksum(const uint8_t* data, size_t length);

// Low 16 bits of AclChecksum, as the burn command carries it.
inline uint16_t AclChecksum16(const uint8_t* data, size_t length) {
  return static_cast<uint16_t>(AclChecksum(data, length) & 0xFFFFu);
}
