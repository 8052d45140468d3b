// Archives assembled byte by byte for the extraction tests, and packed blocks whose
// decoded bytes are known.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/test_support.hpp"

namespace mytarvo::test {

inline const Bytes kPakHeader = to_bytes("Tarvo Pak 3 - Orvelund\r\n");

// The 8 bytes abababab as one 18-byte block: magic, unpacked size 8, checksum CDC7CDC0,
// then a literal-width change, the literals a and b, a long match of 6 from distance 2
// and the end marker.
inline const Bytes kBlockAbab = {0x51, 0x5a, 0x08, 0x00, 0x00, 0x00, 0xc0, 0xcd, 0xc7,
                                 0xcd, 0x4c, 0x6c, 0xd8, 0x20, 0x00, 0x00, 0x00, 0x04};
// 64 bytes 0x41: a literal, a repeat match of 62 and a near byte.
inline const Bytes kBlock64A = {0x51, 0x5a, 0x40, 0x00, 0x00, 0x00, 0x00, 0x14, 0x14,
                                0x14, 0xfc, 0x53, 0xd0, 0x20, 0x00, 0x00, 0x00, 0x24};
// 100 zero bytes: a zero byte, a repeat match of 98 and a zero byte.
inline const Bytes kBlock100Zeros = {0x51, 0x5a, 0x64, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,
                                     0x00, 0x5c, 0x4d, 0x91, 0x20, 0x00, 0x00, 0x00, 0x22};

inline Bytes line(std::string_view text) { return concat({to_bytes(text), to_bytes("\r\n")}); }

// An entry stored unchanged: name line, flag byte, file size line, data.
inline Bytes stored_entry(std::string_view name, const Bytes& data, std::uint8_t flag = 0) {
  return concat({line(name), {flag}, line(std::to_string(data.size())), data});
}
inline Bytes stored_entry(std::string_view name, std::string_view data) {
  return stored_entry(name, to_bytes(data));
}

// A packed entry: name line, flag byte 1, file size line, packed size line, then `data`
// (normally a block of exactly the packed size).
inline Bytes packed_entry(std::string_view name, std::int64_t file_size, const Bytes& data,
                          std::int64_t packed_size = -1) {
  if (packed_size < 0) packed_size = static_cast<std::int64_t>(data.size());
  return concat({line(name), {0x01}, line(std::to_string(file_size)), line(std::to_string(packed_size)), data});
}

// `block` with `count` bytes replaced by `value` from `offset` on.
inline Bytes damaged(Bytes block, std::size_t offset, std::size_t count, std::uint8_t value) {
  for (std::size_t i = 0; i < count; ++i) block.at(offset + i) = value;
  return block;
}

inline Bytes repeated(std::size_t count, std::uint8_t value) { return Bytes(count, value); }

}  // namespace mytarvo::test
