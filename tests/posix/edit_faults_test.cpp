// Archive edits under real faults: a file-size limit stopping the new archive, a SIGKILL
// at a random moment of the rewrite, an interrupting signal, another writer holding the
// lock; and what an edit keeps of the old file (permissions, a symbolic link to it).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "archive/pak_builder.hpp"
#include "mytarvo/archive.hpp"
#include "support/platform.hpp"
#include "support/test_support.hpp"

namespace mytarvo::test {
namespace {

namespace fs = std::filesystem;

Bytes noise_bytes(std::size_t n, std::uint32_t seed) { return test::noise(n, seed); }

// Forks a child that runs `body` and exits with its result; returns the child's pid.
template <typename Body>
pid_t spawn(Body body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

// Waits for the child; one that has not ended after two minutes is killed.
int wait_for(pid_t pid) {
  int status = 0;
  for (int waited_ms = 0; waited_ms < 120000; waited_ms += 5) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return status;
    usleep(5000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return status;
}

void sleep_for_us(long microseconds) {
  timespec pause{microseconds / 1000000, (microseconds % 1000000) * 1000};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

class EditFaults : public ::testing::Test {
 protected:
  // An archive of a few large stored entries (the rewrite then takes a moment), and what
  // it holds after "b.bin" is removed.
  void build(std::size_t entry_size) {
    entries = {stored_entry("a.bin", noise_bytes(entry_size, 1)), stored_entry("b.bin", noise_bytes(entry_size, 2)),
               stored_entry("c.bin", noise_bytes(entry_size, 3)), stored_entry("d.txt", "small")};
    old_bytes = concat({kPakHeader, entries[0], entries[1], entries[2], entries[3]});
    new_bytes = concat({kPakHeader, entries[0], entries[2], entries[3]});
    write_file(archive, old_bytes);
  }
  [[nodiscard]] std::vector<std::string> leftovers() const {
    std::vector<std::string> found;
    for (const auto& item : tree(dir.path())) {
      if (item.find(".tarvo-") != std::string::npos) found.push_back(item);
    }
    return found;
  }
  // Removes b.bin in this process; 0 when it worked.
  int remove_b() const {
    try {
      return remove_entries(archive, {"b.bin"}).removed.size() == 1 ? 0 : 1;
    } catch (const ArchiveError&) {
      return 2;
    }
  }

  TempDir dir;
  const std::string archive = dir.file("big.pak");
  std::vector<Bytes> entries;
  Bytes old_bytes;
  Bytes new_bytes;
};

class EditUnderFileSizeLimit : public EditFaults, public ::testing::WithParamInterface<rlim_t> {};

TEST_P(EditUnderFileSizeLimit, LeavesTheOldArchiveAndNoTemporaryFile) {
  build(300000);
  const rlim_t limit = GetParam() == 0 ? 0 : new_bytes.size() - GetParam();
  const pid_t pid = spawn([&] {
    signal(SIGXFSZ, SIG_IGN);  // writes past the limit then fail with EFBIG
    rlimit rl{limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &rl) != 0) return 3;
    try {
      (void)remove_entries(archive, {"b.bin"});
      return 4;  // must not succeed
    } catch (const ArchiveError& e) {
      const std::string what = e.what();
      return what.find("the archive is unchanged") != std::string::npos ? 0 : 5;
    }
  });
  const int status = wait_for(pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(read_file(archive), old_bytes);
  EXPECT_TRUE(leftovers().empty());
  // Without the limit, the same edit goes through.
  EXPECT_EQ(remove_b(), 0);
  EXPECT_EQ(read_file(archive), new_bytes);
}

// 0: no byte fits; otherwise how many bytes of the new archive do not fit.
INSTANTIATE_TEST_SUITE_P(Limits, EditUnderFileSizeLimit, ::testing::Values(rlim_t{0}, rlim_t{1}, rlim_t{5000},
                                                                           rlim_t{400000}));

// A rewrite killed at random moments leaves the old archive or the new one, never
// anything else; the next edit removes the temporary file the killed one left.
TEST_F(EditFaults, KilledAtRandomMomentsLeavesOldOrNewWhole) {
  build(4 << 20);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(remove_b(), 0);
  const auto full = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
  std::mt19937 random(12345);
  std::uniform_int_distribution<long> moment(0, std::max<long>(1000, static_cast<long>(full.count() * 5 / 4)));
  int old_seen = 0;
  int new_seen = 0;
  for (int round = 0; round < 12; ++round) {
    write_file(archive, old_bytes);
    const pid_t pid = spawn([&] { return remove_b(); });
    sleep_for_us(moment(random));
    kill(pid, SIGKILL);
    wait_for(pid);
    const Bytes now = read_file(archive);
    ASSERT_TRUE(now == old_bytes || now == new_bytes) << "round " << round << ": " << now.size() << " bytes";
    (now == old_bytes ? old_seen : new_seen)++;
    // A later edit under the lock clears what the killed one left behind.
    if (now == old_bytes) {
      EXPECT_EQ(remove_b(), 0);
      EXPECT_EQ(read_file(archive), new_bytes);
    } else {
      EXPECT_EQ(repair_archive(archive).repaired, false);
    }
    EXPECT_TRUE(leftovers().empty()) << "round " << round;
  }
  RecordProperty("killed_before_rename", old_seen);
  RecordProperty("killed_after_rename", new_seen);
}

// SIGINT, SIGTERM and SIGHUP at a random moment: the child still dies of the signal, the
// archive is old or new, and the temporary file is gone.
class EditInterrupted : public EditFaults, public ::testing::WithParamInterface<int> {};

TEST_P(EditInterrupted, RemovesTheTemporaryFileAndDiesOfTheSignal) {
  build(4 << 20);
  std::mt19937 random(static_cast<unsigned>(GetParam()));
  std::uniform_int_distribution<long> moment(0, 60000);
  for (int round = 0; round < 6; ++round) {
    write_file(archive, old_bytes);
    const pid_t pid = spawn([&] { return remove_b(); });
    sleep_for_us(moment(random));
    kill(pid, GetParam());
    const int status = wait_for(pid);
    EXPECT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == GetParam()) || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
        << "round " << round;
    const Bytes now = read_file(archive);
    ASSERT_TRUE(now == old_bytes || now == new_bytes) << "round " << round;
    ASSERT_TRUE(leftovers().empty()) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, EditInterrupted, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

// While another writer holds the lock, the edit waits; it then works on the archive as
// that writer left it.
TEST_F(EditFaults, WaitsForTheWriterLockAndSeesWhatTheHolderWrote) {
  build(1000);
  const platform::FileHandle held = platform::open_file(archive.c_str(), platform::OpenMode::OpenOrCreate);
  ASSERT_NE(held, platform::kNoFile);
  ASSERT_TRUE(platform::lock_exclusive(held, platform::LockWait::Block));
  // The child must not keep a copy of the lock holder's descriptor (fork shares the lock).
  const pid_t pid = spawn([&] {
    platform::close_file(held);
    return remove_b();
  });
  sleep_for_us(200000);
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0);  // still waiting
  const Bytes late = stored_entry("late.txt", "appended while locked");
  ASSERT_TRUE(platform::write_file_at(held, old_bytes.size(), late.data(), static_cast<std::uint32_t>(late.size())));
  platform::close_file(held);  // releases the lock
  const int status = wait_for(pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(read_file(archive), concat({new_bytes, late}));
}

// An append started while an edit rewrites the archive waits for the edit's lock and then
// lands in the edited archive, whichever of the two gets the lock first.
TEST_F(EditFaults, AnAppendDuringAnEditLandsInTheNewArchive) {
  const std::string source = dir.file("late.txt");
  write_file(source, to_bytes("appended during the edit"));
  const Bytes late = stored_entry("late.txt", "appended during the edit");
  const auto append_late = [&] {
    try {
      ArchiveAppender appender(archive);
      return appender.append(prepare_entry(source, Packing::Store)) ? 0 : 1;
    } catch (const ArchiveError&) {
      return 2;
    }
  };
  std::mt19937 random(99);
  std::uniform_int_distribution<long> moment(0, 40000);
  for (int round = 0; round < 6; ++round) {
    build(2 << 20);
    const pid_t edit = spawn([&] { return remove_b(); });
    sleep_for_us(moment(random));
    const pid_t add = spawn(append_late);
    const int edit_status = wait_for(edit);
    const int add_status = wait_for(add);
    ASSERT_TRUE(WIFEXITED(edit_status) && WEXITSTATUS(edit_status) == 0) << "round " << round;
    ASSERT_TRUE(WIFEXITED(add_status) && WEXITSTATUS(add_status) == 0) << "round " << round;
    ASSERT_EQ(read_file(archive), concat({new_bytes, late})) << "round " << round;
  }
}

TEST_F(EditFaults, KeepsPermissionsAndEditsTheFileALinkLeadsTo) {
  build(1000);
  ASSERT_EQ(chmod(archive.c_str(), 0640), 0);
  const std::string link = dir.file("link.pak");
  fs::create_symlink(archive, link);
  ASSERT_EQ(remove_entries(link, {"b.bin"}).removed.size(), 1u);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read_file(archive), new_bytes);
  struct stat st {};
  ASSERT_EQ(stat(archive.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_TRUE(leftovers().empty());
}

}  // namespace
}  // namespace mytarvo::test
