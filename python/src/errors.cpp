#include "errors.hpp"

#include <cerrno>

namespace mytarvo::python {

SystemFailure::SystemFailure(int error_number, std::string filename, const std::string& what)
    : std::runtime_error(what), error_number_(error_number), filename_(std::move(filename)) {}

int last_error_or_eio() { return errno != 0 ? errno : EIO; }

}  // namespace mytarvo::python
