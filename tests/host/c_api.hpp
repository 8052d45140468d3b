// The five C functions of the built library, looked up by name as a host program does.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "mytarvo/mytarvo.h"
#include "support/loader.hpp"
#include "support/test_support.hpp"

namespace mytarvo::test {

class CApi {
 public:
  using AddToPakFn = int32_t(MYTARVO_CALL*)(const char*, const char*, const char*, int32_t);
  using CreatePakFileFn = int32_t(MYTARVO_CALL*)(const char*);
  using MakeListFilesFn = int32_t(MYTARVO_CALL*)(const char*, const char*);
  using UnPakFn = const char*(MYTARVO_CALL*)(const char*, const char*, const char*, const char*);
  using UnPakAllFn = int32_t(MYTARVO_CALL*)(const char*, const char*, const char*);

  CApi()
      : add(reinterpret_cast<AddToPakFn>(library_.by_name("AddToPak"))),
        create(reinterpret_cast<CreatePakFileFn>(library_.by_name("CreatePakFile"))),
        list(reinterpret_cast<MakeListFilesFn>(library_.by_name("MakeListFiles"))),
        unpak(reinterpret_cast<UnPakFn>(library_.by_name("UnPak"))),
        unpak_all(reinterpret_cast<UnPakAllFn>(library_.by_name("UnPakAll"))) {}

  [[nodiscard]] bool ready() const {
    return add != nullptr && create != nullptr && list != nullptr && unpak != nullptr && unpak_all != nullptr;
  }

 private:
  LoadedLibrary library_{MYTARVO_LIBRARY_PATH};

 public:
  const AddToPakFn add;
  const CreatePakFileFn create;
  const MakeListFilesFn list;
  const UnPakFn unpak;
  const UnPakAllFn unpak_all;
};

inline const std::string kHeaderLine = "Tarvo Pak 3 - Orvelund\r\n";

// The bytes AddToPak appends for a file stored unchanged.
inline std::string stored(const std::string& name, const std::string& content) {
  return name + "\r\n" + std::string(1, '\0') + std::to_string(content.size()) + "\r\n" + content;
}

// A test of the built library's five functions on an archive in a directory of its own.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(api.ready()); }
  // Writes each (name, content) into the directory, creates the archive and adds them in
  // order, stored (AddToPak with compression off).
  void make_archive(std::initializer_list<std::pair<std::string, std::string>> files) {
    for (const auto& [name, content] : files) write_file(dir.file(name), content);
    api.create(archive.c_str());
    for (const auto& [name, content] : files) api.add(archive.c_str(), dir.file(name).c_str(), nullptr, 0);
  }
  CApi api;
  TempDir dir;
  const std::string archive = dir.file("a.pak");
};

}  // namespace mytarvo::test
