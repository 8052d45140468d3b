// tarvo against real processes (interrupted by signals, held up by another writer's lock,
// stopped by a file-size limit as a full disk would stop it), real symbolic links and
// permission bits.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "archive/pak_builder.hpp"
#include "support/platform.hpp"
#include "tool/tool_harness.hpp"

namespace mytarvo::test {
namespace {

using Clock = std::chrono::steady_clock;

// A tarvo process running beside the test.
class Child {
 public:
  // Starts tarvo with `arguments`; `limit` bounds the size of every file it writes (0: none).
  // Standard input comes from `in_path`, standard output goes to `out_path`.
  Child(const std::vector<std::string>& arguments, const std::string& err_path, rlim_t limit = 0,
        const std::string& in_path = "/dev/null", const std::string& out_path = "/dev/null") {
    write_file(err_path, "");  // there to be read before the child writes to it
    pid_ = ::fork();
    if (pid_ != 0) return;
    const int in = ::open(in_path.c_str(), O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) _exit(127);
    if (limit > 0) {
      ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
      const rlimit rl{limit, limit};
      if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(127);
    }
    ::alarm(120);  // survives exec: a child that hangs is ended
    std::vector<char*> argv{const_cast<char*>(MYTARVO_TARVO_PATH)};
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(MYTARVO_TARVO_PATH, argv.data());
    _exit(127);
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      (void)wait();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  void signal(int number) const { ::kill(pid_, number); }
  // The raw wait status.
  int wait() {
    int status = 0;
    if (::waitpid(pid_, &status, 0) == pid_) reaped_ = true;
    return status;
  }
  // True once the child has ended (without reaping it).
  [[nodiscard]] bool ended() const {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid_;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

// Polls `condition` until it holds or 30 s have passed; false then.
bool eventually(const std::function<bool()>& condition) {
  const auto give_up = Clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (Clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

std::string pattern(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (auto& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<char>(seed >> 24);
  }
  return bytes;
}

class ToolProcess : public ToolTest {
 protected:
  // Many large files to add, so that an add takes long enough to be interrupted.
  std::vector<std::string> large_sources(int count) const {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) paths.push_back(file("big" + std::to_string(i), pattern(1 << 21, i)));
    return paths;
  }
};

// An add interrupted while it writes leaves the archive exactly as before, whichever of
// the three signals stops it, and the process ends by that signal.
TEST_F(ToolProcess, InterruptedAddCutsTheArchiveBack) {
  const std::string archive = path("a.pak");
  ASSERT_EQ(tarvo({"create", archive}).status, 0);
  ASSERT_EQ(tarvo({"add", archive, file("first.txt", "first")}).status, 0);
  const Bytes before = read_file(archive);
  std::vector<std::string> arguments = {"add", "--store", "-j", "2", archive};
  for (const auto& source : large_sources(24)) arguments.push_back(source);

  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(number);
    Child add(arguments, path("err"));
    ASSERT_TRUE(eventually([&] { return std::filesystem::file_size(archive) > before.size() || add.ended(); }));
    add.signal(number);
    const int status = add.wait();
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), number);
    EXPECT_EQ(read_file(archive), before);
    EXPECT_TRUE(contains(read_text(path("err")), "is as it was before")) << read_text(path("err"));
  }
}

// An extraction interrupted while it writes leaves no temporary file behind.
TEST_F(ToolProcess, InterruptedExtractRemovesItsTemporaryFile) {
  const std::string archive = path("a.pak");
  ASSERT_EQ(tarvo({"create", archive}).status, 0);
  std::vector<std::string> add = {"add", "--store", archive};
  for (const auto& source : large_sources(24)) add.push_back(source);
  ASSERT_EQ(tarvo(add).status, 0);
  std::filesystem::create_directories(path("out"));

  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(number);
    Child extract({"extract", archive, "-C", path("out")}, path("err"));
    ASSERT_TRUE(eventually([&] { return !temporaries(path("out")).empty() || extract.ended(); }));
    extract.signal(number);
    const int status = extract.wait();
    EXPECT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(temporaries(path("out")), std::vector<std::string>{}) << read_text(path("err"));
  }
}

// Files are created in the directory -C named when extraction began: renaming it away
// in the middle of the run takes the rest of the files with it.
TEST_F(ToolProcess, ExtractStaysInTheDirectoryItOpened) {
  const std::string archive = path("a.pak");
  ASSERT_EQ(tarvo({"create", archive}).status, 0);
  std::vector<std::string> add = {"add", "--store", archive};
  const auto sources = large_sources(16);
  add.insert(add.end(), sources.begin(), sources.end());
  ASSERT_EQ(tarvo(add).status, 0);
  std::filesystem::create_directories(path("out"));

  Child extract({"extract", archive, "-C", path("out")}, path("err"));
  ASSERT_TRUE(eventually([&] { return !temporaries(path("out")).empty() || extract.ended(); }));
  std::filesystem::rename(path("out"), path("moved"));
  const int status = extract.wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << read_text(path("err"));
  EXPECT_FALSE(std::filesystem::exists(path("out")));
  EXPECT_EQ(tree(path("moved")).size(), sources.size());
}

// A second writer waits for the first one's lock, says so, and appends after it.
TEST_F(ToolProcess, SecondWriterWaitsForTheLock) {
  const std::string archive = path("a.pak");
  ASSERT_EQ(tarvo({"create", archive}).status, 0);
  const platform::FileHandle held = platform::open_file(archive.c_str(), platform::OpenMode::OpenOrCreate);
  ASSERT_NE(held, platform::kNoFile);
  ASSERT_TRUE(platform::lock_exclusive(held, platform::LockWait::Try));

  Child add({"add", archive, file("late.txt", "late")}, path("err"));
  EXPECT_TRUE(eventually([&] { return contains(read_text(path("err")), "waiting for another program") || add.ended(); }))
      << read_text(path("err"));
  EXPECT_FALSE(add.ended());
  // Meanwhile the lock holder appends an entry of its own.
  const Bytes mine = stored_entry("mine.txt", "mine");
  ASSERT_TRUE(platform::write_file_at(held, kPakHeader.size(), mine.data(), static_cast<std::uint32_t>(mine.size())));
  platform::close_file(held);

  const int status = add.wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << read_text(path("err"));
  EXPECT_EQ(read_file(archive), concat({kPakHeader, mine, stored_entry("late.txt", "late")}));
}

// A file that cannot be written (here: past the file-size limit) is cut off again, and the
// files after it are added as usual.
TEST_F(ToolProcess, FilesAfterAFailedOneAreAdded) {
  const std::string archive = path("a.pak");
  ASSERT_EQ(tarvo({"create", archive}).status, 0);
  Child add({"add", "--store", archive, file("small1", "one"), file("big", pattern(20000, 1)), file("small2", "two")},
            path("err"), 4096);
  const int status = add.wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << read_text(path("err"));
  EXPECT_EQ(read_file(archive), concat({kPakHeader, stored_entry("small1", "one"), stored_entry("small2", "two")}));
  EXPECT_TRUE(contains(read_text(path("err")), "(File too large)")) << read_text(path("err"));
}

// Extracting over an existing file keeps that file's permission bits.
TEST_F(ToolProcess, ReplacedFileKeepsItsMode) {
  const std::string archive = path("a.pak");
  ASSERT_EQ(tarvo({"create", archive}).status, 0);
  ASSERT_EQ(tarvo({"add", archive, file("secret.txt", "new secret")}).status, 0);
  std::filesystem::create_directories(path("out"));
  for (const mode_t mode : {0600, 0755, 0640, 0444}) {
    SCOPED_TRACE(mode);
    const std::string target = file("out/secret.txt", "old");
    ASSERT_EQ(::chmod(target.c_str(), mode), 0);
    const ToolRun run = tarvo({"extract", archive, "-C", path("out")});
    EXPECT_EQ(run.status, 0) << run;
    EXPECT_EQ(read_text(target), "new secret");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
    ::chmod(target.c_str(), 0600);
  }
}

// During -r a link to a file is skipped with a notice unless -L is given; a link named on
// the command line is followed.
TEST_F(ToolProcess, RecursiveAddFollowsLinksOnlyWhenAsked) {
  std::filesystem::create_directories(path("d"));
  file("d/a.txt", "A");
  const std::string secret = file("secret", "outside");
  std::filesystem::create_symlink(secret, path("d/link"));
  const std::string archive = path("a.pak");
  struct Case {
    std::vector<std::string> options;
    Bytes entries;
  };
  const Case cases[] = {
      {{"-r"}, stored_entry("a.txt", "A")},
      {{"-r", "-L"}, concat({stored_entry("a.txt", "A"), stored_entry("link", "outside")})},
      {{"--dereference", "-r"}, concat({stored_entry("a.txt", "A"), stored_entry("link", "outside")})},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(tarvo({"create", "--force", archive}).status, 0);
    std::vector<std::string> arguments = {"add", "--store", archive, path("d")};
    arguments.insert(arguments.begin() + 1, c.options.begin(), c.options.end());
    const ToolRun run = tarvo(arguments);
    EXPECT_EQ(run.status, 0) << run;
    EXPECT_EQ(read_file(archive), concat({kPakHeader, c.entries})) << run;
    EXPECT_EQ(contains(run.err, "link: a symbolic link; skipped"), c.options.size() == 1) << run;
  }
  ASSERT_EQ(tarvo({"create", "--force", archive}).status, 0);
  EXPECT_EQ(tarvo({"add", "--store", archive, path("d/link")}).status, 0);
  EXPECT_EQ(read_file(archive), concat({kPakHeader, stored_entry("link", "outside")}));
}

// "-" reads the archive from standard input (here a pipe, which cannot seek): list, test
// and extract do exactly what they do on the file.
TEST_F(ToolProcess, DashReadsTheArchiveFromStandardInput) {
  const std::string archive = path("a.pak");
  write_file(archive, concat({kPakHeader, stored_entry("a.txt", "hello"), packed_entry("b.dat", 64, kBlock64A)}));
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
  const std::vector<std::vector<std::string>> commands = {
      {"list"}, {"list", "--json"}, {"test"}, {"cat", "b.dat"}, {"extract", "-C", path("out")}};
  for (const auto& command : commands) {
    SCOPED_TRACE(command.front());
    std::vector<std::string> arguments = command;
    arguments.insert(arguments.begin() + 1, "-");
    Child child(arguments, path("err"), 0, path("pipe"), path("out.txt"));
    write_file(path("pipe"), read_file(archive));  // blocks until the child reads
    const int status = child.wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << read_text(path("err"));
    arguments[1] = archive;
    ToolRun direct = tarvo(arguments);
    const std::string from_pipe = read_text(path("out.txt"));
    if (command.front() == "list" || command.front() == "test") {
      // The archive is named "-" where the file run names its path.
      std::string expected;
      std::size_t from = 0;
      for (std::size_t at; (at = direct.out.find(archive, from)) != std::string::npos; from = at + archive.size()) {
        expected.append(direct.out, from, at - from).push_back('-');
      }
      expected.append(direct.out, from);
      EXPECT_EQ(from_pipe, expected);
    } else {
      EXPECT_EQ(from_pipe, direct.out);
    }
  }
  EXPECT_EQ(read_text(path("out/a.txt")), "hello");
  EXPECT_EQ(read_text(path("out/b.dat")), std::string(64, 'A'));
}

}  // namespace
}  // namespace mytarvo::test
