// A scratch directory holding one archive, with a library state to drive the operations,
// for tests that make an archive and then see what an operation does to it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "archive/operations.hpp"
#include "support/test_support.hpp"

namespace mytarvo::test {

struct SourceFile {
  std::string name;
  Bytes content;
  std::int32_t compress;  // the AddToPak flag it is added with
};

struct ArchiveScratch {
  TempDir dir;
  Library lib;
  const std::string archive = dir.file("a.pak");
  Bytes contents;  // the archive as make_archive left it

  // Writes each file into the directory, creates the archive and adds them in order.
  void make_archive(std::initializer_list<SourceFile> files) {
    for (const SourceFile& f : files) write_file(dir.file(f.name), f.content);
    create_pak_file(archive.c_str());
    for (const SourceFile& f : files) add_to_pak(lib, archive.c_str(), dir.file(f.name).c_str(), nullptr, f.compress);
    contents = read_file(archive);
  }
};

}  // namespace mytarvo::test
