#include "codec_functions.hpp"

#include <cstring>
#include <limits>
#include <new>
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

const char* status_name(StreamStatus status) {
  switch (status) {
    case StreamStatus::Ok: return "ok";
    case StreamStatus::NeedsInput: return "needs_input";
    case StreamStatus::Done: return "done";
    case StreamStatus::Damaged: return "damaged";
    case StreamStatus::OutOfMemory: return "out_of_memory";
  }
  return "damaged";
}

// One packed block decoded as its bytes arrive; Python feeds it and reads from it.
class StreamingUnpacker {
 public:
  void feed(const py::object& data) {
    const ByteView view(data);
    const std::span<const std::uint8_t> bytes = view.bytes();
    if (!decoder_.feed(bytes.data(), bytes.size())) throw std::bad_alloc();
  }
  void end_input() { decoder_.end_input(); }
  py::bytes read(std::size_t capacity) {
    std::vector<std::uint8_t> out(capacity);
    std::size_t got = 0;
    {
      const py::gil_scoped_release unlocked;
      got = decoder_.read(out.data(), out.size());
    }
    return {reinterpret_cast<const char*>(out.data()), got};
  }
  [[nodiscard]] const char* status() const { return status_name(decoder_.status()); }
  [[nodiscard]] std::uint32_t unpacked_size() const { return decoder_.unpacked_size(); }

 private:
  BlockStreamDecoder decoder_;
};

}  // namespace

void add_codec_functions(py::module_& module) {
  py::class_<StreamingUnpacker>(module, "StreamingUnpacker")
      .def(py::init<>())
      .def("feed", &StreamingUnpacker::feed, py::arg("data"))
      .def("end_input", &StreamingUnpacker::end_input)
      .def("read", &StreamingUnpacker::read, py::arg("capacity"))
      .def_property_readonly("status", &StreamingUnpacker::status)
      .def_property_readonly("unpacked_size", &StreamingUnpacker::unpacked_size);
  module.def("pack", &pack, py::arg("data"), py::arg("level") = 9,
             "Packs data into one packed block; b'' when the block would be longer than the data.");
  module.def("unpack", &unpack, py::arg("block"), "Unpacks one packed block; BadPakFile when it is damaged.");
}

}  // namespace mytarvo::python
