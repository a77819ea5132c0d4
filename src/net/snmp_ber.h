#pragma once
// Bounded BER reading and writing for the SNMP messages this program sends and
// receives. Only definite lengths and one-byte tags exist here: anything else
// cannot be bounded and is refused. A reader never looks outside its bytes; a
// writer never writes past its buffer and remembers that it ran out.

#include <cstddef>
#include <cstdint>

constexpr uint8_t BER_INTEGER = 0x02;
constexpr uint8_t BER_OCTET_STRING = 0x04;
constexpr uint8_t BER_NULL = 0x05;
constexpr uint8_t BER_OID = 0x06;
constexpr uint8_t BER_SEQUENCE = 0x30;

// Longest content length accepted or written (4 length octets).
constexpr size_t BER_MAX_LENGTH = 0xFFFFFFFFu;
constexpr size_t BER_OID_MAX_IDS = 128;

class BerReader {
 public:
  BerReader() = default;
  BerReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

  bool AtEnd() const { return m_pos == m_size; }
  size_t Remaining() const { return m_size - m_pos; }

  // Reads one element: its tag and a reader over exactly its content. False
  // (and the position unchanged) for a multi-byte tag, an indefinite or
  // over-long length, or content that runs past this reader's end.
  bool Next(uint8_t* tag, BerReader* content);
  // Next() that also requires the tag.
  bool Expect(uint8_t tag, BerReader* content);

  const uint8_t* Data() const { return m_data + m_pos; }

 private:
  const uint8_t* m_data = nullptr;
  size_t m_size = 0;
  size_t m_pos = 0;
};

// Two's complement content of 1..8 octets, sign-extended. False when empty or
// longer than 8 octets.
bool BerDecodeInteger(const BerReader& content, int64_t* value);
// Object identifier content into sub-ids (the first octet holds two). False
// for empty content, a sub-id over 32 bits, a truncated sub-id or more than
// `maxIds` sub-ids.
bool BerDecodeOid(const BerReader& content, uint32_t* ids, size_t maxIds, size_t* count);

// Sizes of encodings, so that a writer can emit lengths before content.
size_t BerLengthSize(size_t length);
size_t BerIntegerContentSize(int64_t value);
// 0 for an OID that cannot be encoded (fewer than two sub-ids, first above 2,
// second above 39 under a first of 0 or 1, or a sum that overflows).
size_t BerOidContentSize(const uint32_t* ids, size_t count);
// Tag, length octets and content.
inline size_t BerElementSize(size_t contentSize) { return 1 + BerLengthSize(contentSize) + contentSize; }

class BerWriter {
 public:
  BerWriter(uint8_t* out, size_t size) : m_out(out), m_size(size) {}

  void Header(uint8_t tag, size_t contentSize);
  void Integer(uint8_t tag, int64_t value);
  void Bytes(uint8_t tag, const uint8_t* data, size_t size);
  void Null();
  void Oid(const uint32_t* ids, size_t count);

  bool Ok() const { return m_ok; }
  size_t Size() const { return m_pos; }

 private:
  void Put(uint8_t byte);
  void PutLength(size_t length);

  uint8_t* m_out;
  size_t m_size;
  size_t m_pos = 0;
  bool m_ok = true;
};
