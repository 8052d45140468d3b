// The bytes of any contiguous Python buffer (bytes, bytearray, memoryview, array, mmap),
// held for as long as the view lives, so they can be read with the interpreter lock
// released. Objects without a buffer raise TypeError, non-contiguous buffers BufferError.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <span>

namespace mytarvo::python {

class ByteView {
 public:
  explicit ByteView(const pybind11::handle& object) {
    if (PyObject_GetBuffer(object.ptr(), &view_, PyBUF_SIMPLE) != 0) throw pybind11::error_already_set();
  }
  ~ByteView() { PyBuffer_Release(&view_); }
  ByteView(const ByteView&) = delete;
  ByteView& operator=(const ByteView&) = delete;

  [[nodiscard]] std::span<const std::uint8_t> bytes() const {
    return {static_cast<const std::uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }

 private:
  Py_buffer view_{};
};

}  // namespace mytarvo::python
