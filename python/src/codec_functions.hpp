// mytarvo.pack and mytarvo.unpack: packed blocks on their own, exactly as the codec makes
// and reads them, with the interpreter lock released while they work.
#pragma once

#include <pybind11/pybind11.h>

namespace mytarvo::python {

void add_codec_functions(pybind11::module_& module);

}  // namespace mytarvo::python
