#include "net/snmp_ber.h"

bool BerReader::Next(uint8_t* tag, BerReader* content) {
  size_t pos = m_pos;
  if (m_size - pos < 2) return false;
  uint8_t t = m_data[pos++];
  if ((t & 0x1F) == 0x1F) return false;  // multi-byte tag
  uint8_t first = m_data[pos++];
  size_t length = first;
  if (first & 0x80) {
    size_t octets = first & 0x7F;
    // 0x80 is the indefinite form; more than four octets cannot be bounded here.
    if (octets == 0 || octets > 4 || m_size - pos < octets) return false;
    length = 0;
    for (size_t i = 0; i < octets; ++i) length = (length << 8) | m_data[pos++];
  }
  if (length > m_size - pos) return false;
  *tag = t;
  *content = BerReader(m_data + pos, length);
  m_pos = pos + length;
  return true;
}

bool BerReader::Expect(uint8_t tag, BerReader* content) {
  BerReader save = *this;
  uint8_t t = 0;
  if (!Next(&t, content)) return false;
  if (t != tag) {
    *this = save;
    return false;
  }
  return true;
}

bool BerDecodeInteger(const BerReader& content, int64_t* value) {
  size_t n = content.Remaining();
  if (n == 0 || n > 8) return false;
  const uint8_t* p = content.Data();
  uint64_t v = (p[0] & 0x80) ? ~uint64_t{0} : 0;
  for (size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
  *value = static_cast<int64_t>(v);
  return true;
}

bool BerDecodeOid(const BerReader& content, uint32_t* ids, size_t maxIds, size_t* count) {
  size_t n = content.Remaining();
  const uint8_t* p = content.Data();
  if (n == 0 || maxIds < 2) return false;
  size_t out = 0;
  size_t i = 0;
  while (i < n) {
    uint64_t sub = 0;
    bool done = false;
    while (i < n) {
      uint8_t b = p[i++];
      sub = (sub << 7) | (b & 0x7F);
      if (sub > 0xFFFFFFFFull) return false;
      if (!(b & 0x80)) {
        done = true;
        break;
      }
    }
    if (!done) return false;
    if (out == 0) {
      // The first encoded sub-id packs the first two: 40 * x + y.
      uint32_t x = sub < 40 ? 0 : (sub < 80 ? 1 : 2);
      ids[0] = x;
      ids[1] = static_cast<uint32_t>(sub - 40u * x);
      out = 2;
    } else {
      if (out >= maxIds) return false;
      ids[out++] = static_cast<uint32_t>(sub);
    }
  }
  *count = out;
  return true;
}

size_t BerLengthSize(size_t length) {
  if (length < 0x80) return 1;
  if (length <= 0xFF) return 2;
  if (length <= 0xFFFF) return 3;
  if (length <= 0xFFFFFF) return 4;
  return 5;
}

size_t BerIntegerContentSize(int64_t value) {
  size_t n = 1;
  // Shortest two's complement form: drop leading octets that only repeat the sign.
  while (n < 8) {
    int64_t lo = -(int64_t{1} << (8 * n - 1));
    int64_t hi = (int64_t{1} << (8 * n - 1)) - 1;
    if (value >= lo && value <= hi) break;
    ++n;
  }
  return n;
}

namespace {
size_t SubIdSize(uint64_t sub) {
  size_t n = 1;
  while (sub >= 0x80) {
    sub >>= 7;
    ++n;
  }
  return n;
}
}  // namespace

size_t BerOidContentSize(const uint32_t* ids, size_t count) {
  if (count < 2 || count > BER_OID_MAX_IDS || ids[0] > 2) return 0;
  if (ids[0] < 2 && ids[1] > 39) return 0;
  uint64_t first = 40ull * ids[0] + ids[1];
  if (first > 0xFFFFFFFFull) return 0;
  size_t size = SubIdSize(first);
  for (size_t i = 2; i < count; ++i) size += SubIdSize(ids[i]);
  return size;
}

void BerWriter::Put(uint8_t byte) {
  if (!m_ok || m_pos >= m_size) {
    m_ok = false;
    return;
  }
  m_out[m_pos++] = byte;
}

void BerWriter::PutLength(size_t length) {
  size_t size = BerLengthSize(length);
  if (size == 1) {
    Put(static_cast<uint8_t>(length));
    return;
  }
  if (length > BER_MAX_LENGTH) {
    m_ok = false;
    return;
  }
  Put(static_cast<uint8_t>(0x80 | (size - 1)));
  for (size_t i = size - 1; i > 0; --i) Put(static_cast<uint8_t>(length >> (8 * (i - 1))));
}

void BerWriter::Header(uint8_t tag, size_t contentSize) {
  Put(tag);
  PutLength(contentSize);
}

void BerWriter::Integer(uint8_t tag, int64_t value) {
  size_t n = BerIntegerContentSize(value);
  Header(tag, n);
  for (size_t i = n; i > 0; --i) Put(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * (i - 1))));
}

void BerWriter::Bytes(uint8_t tag, const uint8_t* data, size_t size) {
  Header(tag, size);
  for (size_t i = 0; i < size; ++i) Put(data[i]);
}

void BerWriter::Null() { Header(BER_NULL, 0); }

void BerWriter::Oid(const uint32_t* ids, size_t count) {
  size_t size = BerOidContentSize(ids, count);
  if (size == 0) {
    m_ok = false;
    return;
  }
  Header(BER_OID, size);
  auto putSub = [this](uint64_t sub) {
    size_t n = SubIdSize(sub);
    for (size_t i = n; i > 0; --i) {
      uint8_t b = static_cast<uint8_t>((sub >> (7 * (i - 1))) & 0x7F);
      Put(i > 1 ? static_cast<uint8_t>(b | 0x80) : b);
    }
  };
  putSub(40ull * ids[0] + ids[1]);
  for (size_t i = 2; i < count; ++i) putSub(ids[i]);
}
