// mytarvo._core: the compiled half of the Python package. It binds PakArchive and the
// codec functions and turns the C++ exceptions into Python ones; the package's Python
// half (mytarvo/__init__.py) builds the public PakFile interface on top.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>
#include <optional>
#include <stdexcept>

#include "byte_view.hpp"
#include "codec_functions.hpp"
#include "errors.hpp"
#include "pak_archive.hpp"

namespace py = pybind11;
using namespace mytarvo::python;

namespace {

py::bytes as_bytes(const std::string& text) { return {text.data(), text.size()}; }

// A path as Python shows file names: decoded with the file-system encoding, undecodable
// bytes kept as surrogates.
py::object file_name(const std::string& path) {
  PyObject* name = PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<Py_ssize_t>(path.size()));
  if (name == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(name);
}

ArchiveMode archive_mode(const std::string& mode) {
  if (mode == "r") return ArchiveMode::Read;
  if (mode == "a") return ArchiveMode::Append;
  if (mode == "w") return ArchiveMode::Create;
  throw std::invalid_argument("mode must be 'r', 'a' or 'w'");
}

// An entry name the caller chose: it must fit on a name line and be safe to extract.
void check_entry_name(const std::string& name) {
  if (name.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
    throw std::invalid_argument("an entry name cannot hold CR, LF or NUL");
  }
  if (mytarvo::is_unsafe_entry_name(name)) {
    throw std::invalid_argument("an entry name must be a plain file name (no directory, drive or device part)");
  }
}

// How an entry is written: packed at level 9 when that makes it smaller (the default),
// stored unchanged, or read for storing and then packed in the best mode.
enum class EntryPacking { Level9, Store, Best };

EntryPacking entry_packing(bool store, bool best) {
  if (store && best) throw std::invalid_argument("store and best exclude each other");
  if (best) return EntryPacking::Best;
  return store ? EntryPacking::Store : EntryPacking::Level9;
}

mytarvo::Packing packing_of(EntryPacking packing) {
  return packing == EntryPacking::Level9 ? mytarvo::Packing::Pack : mytarvo::Packing::Store;
}

void finish_packing(mytarvo::PreparedEntry& entry, EntryPacking packing) {
  if (packing == EntryPacking::Best) mytarvo::pack_entry_best(entry);
}

py::tuple entry_tuple(const mytarvo::ArchiveEntry& e) {
  return py::make_tuple(as_bytes(e.name), e.flag, e.file_size, e.packed_size, e.header_offset, e.data_offset);
}

py::list entry_list(PakArchive& archive) {
  std::vector<mytarvo::ArchiveEntry> entries;
  {
    const py::gil_scoped_release unlocked;
    entries = archive.entries();
  }
  py::list result;
  for (const auto& entry : entries) result.append(entry_tuple(entry));
  return result;
}

py::bytes read_entry(PakArchive& archive, std::uint64_t header_offset) {
  std::vector<std::uint8_t> content;
  {
    const py::gil_scoped_release unlocked;
    content = archive.read(header_offset);
  }
  return {reinterpret_cast<const char*>(content.data()), content.size()};
}

py::bytes extract_entry(PakArchive& archive, std::uint64_t header_offset, const std::string& directory) {
  std::string path;
  {
    const py::gil_scoped_release unlocked;
    path = archive.extract(header_offset, directory);
  }
  return as_bytes(path);
}

py::list test_archive(PakArchive& archive) {
  std::vector<Problem> problems;
  {
    const py::gil_scoped_release unlocked;
    problems = archive.test();
  }
  py::list result;
  for (const auto& p : problems) result.append(py::make_tuple(as_bytes(p.name), p.header_offset, p.message));
  return result;
}

void append_prepared(PakArchive& archive, const mytarvo::PreparedEntry& entry) {
  if (!entry.ok()) {
    const std::string& subject = entry.source.empty() ? entry.name : entry.source;
    if (entry.source.empty()) throw std::invalid_argument(entry.name + ": " + entry.error);
    throw SystemFailure(EIO, subject, entry.error);
  }
  archive.append(entry);
}

// Packing runs outside the archive's lock, so threads adding to one archive pack at once.
void append_file(PakArchive& archive, const std::string& source, const std::optional<std::string>& name, bool store,
                 bool best) {
  const EntryPacking packing = entry_packing(store, best);
  if (name) check_entry_name(*name);
  if (!archive.writable()) throw std::logic_error("the archive is open for reading only");
  const py::gil_scoped_release unlocked;
  mytarvo::PreparedEntry entry = mytarvo::prepare_entry(source, packing_of(packing));
  finish_packing(entry, packing);
  if (entry.ok() && name) entry.name = *name;
  append_prepared(archive, entry);
}

void append_bytes(PakArchive& archive, const std::string& name, const py::object& data, bool store, bool best) {
  const EntryPacking packing = entry_packing(store, best);
  check_entry_name(name);
  if (!archive.writable()) throw std::logic_error("the archive is open for reading only");
  const ByteView view(data);
  const py::gil_scoped_release unlocked;
  mytarvo::PreparedEntry entry = mytarvo::prepare_entry_from_memory(name, view.bytes(), packing_of(packing));
  finish_packing(entry, packing);
  append_prepared(archive, entry);
}

// The entries an edit changed, as entry tuples.
template <typename Edit>
py::list edited_entries(Edit run) {
  std::vector<mytarvo::ArchiveEntry> changed;
  {
    const py::gil_scoped_release unlocked;
    changed = run();
  }
  py::list result;
  for (const auto& entry : changed) result.append(entry_tuple(entry));
  return result;
}

py::list remove_named(PakArchive& archive, const std::string& name) {
  return edited_entries([&] { return archive.remove(name); });
}

py::list rename_named(PakArchive& archive, const std::string& old_name, const std::string& new_name) {
  return edited_entries([&] { return archive.rename(old_name, new_name); });
}

void register_exceptions(py::module_& module) {
  static py::exception<BadContent> bad_pak_file(module, "BadPakFile", PyExc_Exception);
  bad_pak_file.attr("__module__") = "mytarvo";
  bad_pak_file.doc() = "An archive or entry whose content cannot be used: not an archive, or damaged.";
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const BadContent& error) {
      bad_pak_file(error.what());
    } catch (const SystemFailure& error) {
      // OSError(errno, strerror, filename) becomes the subclass that matches errno.
      const py::object os_error = py::reinterpret_borrow<py::object>(PyExc_OSError)(
          error.error_number(), std::string(std::strerror(error.error_number())) + " (" + error.what() + ")",
          file_name(error.filename()));
      PyErr_SetObject(PyExc_OSError, os_error.ptr());
    } catch (const std::out_of_range& error) {
      PyErr_SetString(PyExc_KeyError, error.what());
    } catch (const std::logic_error& error) {  // invalid_argument, and calls on a closed archive
      PyErr_SetString(PyExc_ValueError, error.what());
    }
  });
}

}  // namespace

PYBIND11_MODULE(_core, module) {
  module.doc() = "Compiled core of the mytarvo package; use the mytarvo module instead.";
  register_exceptions(module);
  add_codec_functions(module);

  py::class_<PakArchive>(module, "Archive")
      .def(py::init([](const std::string& path, const std::string& mode) {
             const ArchiveMode chosen = archive_mode(mode);
             const py::gil_scoped_release unlocked;
             return std::make_unique<PakArchive>(path, chosen);
           }),
           py::arg("path"), py::arg("mode"))
      .def_property_readonly("closed", &PakArchive::closed)
      .def_property_readonly("writable", &PakArchive::writable)
      .def("close", &PakArchive::close, py::call_guard<py::gil_scoped_release>())
      .def("entries", &entry_list)
      .def("read", &read_entry, py::arg("header_offset"))
      .def("extract", &extract_entry, py::arg("header_offset"), py::arg("directory"))
      .def("test", &test_archive)
      .def("append_file", &append_file, py::arg("source"), py::arg("name"), py::arg("store"), py::arg("best"))
      .def("append_bytes", &append_bytes, py::arg("name"), py::arg("data"), py::arg("store"), py::arg("best"))
      .def("remove", &remove_named, py::arg("name"))
      .def("rename", &rename_named, py::arg("old_name"), py::arg("new_name"));
}
