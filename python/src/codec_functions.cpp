#include "codec_functions.hpp"

#include <cstring>
#include <limits>
#include <span>
#include <vector>

#include "byte_view.hpp"
#include "errors.hpp"
#include "mytarvo/codec.hpp"

namespace py = pybind11;

namespace mytarvo::python {

namespace {

// Every level outside 0 to 7 selects the same window, so any Python int is a valid level.
std::int32_t pack_level(const py::int_& level) {
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(level.ptr(), &overflow);
  if (overflow != 0 || value < 0 || value > 7) return 9;
  return static_cast<std::int32_t>(value);
}

py::bytes pack(const py::object& data, const py::int_& level) {
  const ByteView view(data);
  const std::span<const std::uint8_t> source = view.bytes();
  if (source.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw std::invalid_argument("data of 4 GiB or more cannot be packed as one block");
  }
  const std::int32_t window_level = pack_level(level);
  std::vector<std::uint8_t> block(source.size());
  std::uint32_t size = 0;
  {
    const py::gil_scoped_release unlocked;
    size = pack_block(source, block, window_level);
  }
  return {reinterpret_cast<const char*>(block.data()), size};
}

py::bytes unpack(const py::object& data) {
  const ByteView view(data);
  const std::span<const std::uint8_t> block = view.bytes();
  constexpr std::size_t kHeaderSize = 10;
  if (block.size() < kHeaderSize || block[0] != 'Q' || block[1] != 'Z') throw BadContent("not a packed block");
  const std::uint32_t size = block_unpacked_size(block);
  if (size == 0) return py::bytes();
  // The output is built in place inside a new bytes object that no other code sees yet.
  py::object result = py::reinterpret_steal<py::object>(PyBytes_FromStringAndSize(nullptr, size));
  if (!result) throw py::error_already_set();
  auto* out = reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(result.ptr()));
  std::uint32_t written = 0;
  {
    const py::gil_scoped_release unlocked;
    std::memset(out, 0, size);  // bytes the stream leaves alone count towards the checksum
    written = decode_block(block, std::span<std::uint8_t>(out, size));
  }
  if (written != size) throw BadContent("packed block does not decode or fails its checksum");
  return py::reinterpret_steal<py::bytes>(result.release());
}

}  // namespace

void add_codec_functions(py::module_& module) {
  module.def("pack", &pack, py::arg("data"), py::arg("level") = 9,
             "Packs data into one packed block; b'' when the block would be longer than the data.");
  module.def("unpack", &unpack, py::arg("block"), "Unpacks one packed block; BadPakFile when it is damaged.");
}

}  // namespace mytarvo::python
