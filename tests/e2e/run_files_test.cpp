// What a run does with the files around it: a console that cannot be
// written, a device that is full, and setup files whose names make two roles
// one file.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

const std::vector<std::string> kNames = {"d.txt", "obj.txt", "var.txt", "vl.txt", "ol.txt",
                                         "mat.txt"};
const std::string kTiny = "tiny data set\n4\n1 2\n2 1\n3 5\n4 3\n";

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every regular file of the working directory with its content.
std::map<std::string, std::string> snapshot(const Case& c) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(c.dir()))
    if (e.is_regular_file()) files[e.path().filename().string()] = c.read(e.path().filename());
  return files;
}

// The same file names with the same contents; only the names that differ are shown.
void expect_same_files(const std::map<std::string, std::string>& expected,
                       const std::map<std::string, std::string>& got) {
  std::vector<std::string> differ;
  for (const auto& [name, content] : expected) {
    auto it = got.find(name);
    if (it == got.end() || it->second != content) differ.push_back(name);
  }
  for (const auto& [name, content] : got)
    if (!expected.count(name)) differ.push_back(name);
  EXPECT_TRUE(differ.empty()) << "differing files: " << testing::PrintToString(differ);
}

// ---------------------------------------------------------------------------
// The console

enum class Stdout { kClosed, kFullDevice, kPipeWithoutReader };

// Runs the program in the case's directory with standard output as given and
// standard error in stderr.txt; the exit status, or 128 + the signal.
int run_with_stdout(const Case& c, Stdout kind) {
  int pipe_ends[2] = {-1, -1};
  // The reading end is closed before the program starts: every write to the
  // pipe fails.
  if (kind == Stdout::kPipeWithoutReader && (pipe(pipe_ends) != 0 || close(pipe_ends[0]) != 0))
    return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(c.dir().c_str()) != 0) _exit(126);
    const int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(err, 2);
    if (kind == Stdout::kClosed) close(1);
    if (kind == Stdout::kFullDevice) dup2(open("/dev/full", O_WRONLY), 1);
    if (kind == Stdout::kPipeWithoutReader) dup2(pipe_ends[1], 1);
    std::signal(SIGPIPE, SIG_DFL);
    execl(ORTHAXIS_BINARY, ORTHAXIS_BINARY, static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pipe_ends[1] >= 0) close(pipe_ends[1]);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(RunFilesConsole, AConsoleThatCannotBeWrittenLeavesTheSameFilesAndMarker) {
  // Enough objects for the console to pass its buffer size during the run.
  std::string data = "many objects\n3000\n";
  for (int i = 1; i <= 3000; ++i)
    data += std::to_string(i % 97) + " " + std::to_string((i * 7) % 13) + "\n";
  const std::string setup = "3000 2 2 0 2 0 0 0 1 0 0 1";
  Case reference;
  reference.setup(setup, kNames);
  reference.write("d.txt", data);
  ASSERT_EQ(reference.run().status, 0);
  const auto expected = snapshot(reference);
  ASSERT_TRUE(expected.count("SUCCES.ST$"));

  const std::pair<Stdout, const char*> kinds[] = {{Stdout::kClosed, "closed"},
                                                  {Stdout::kFullDevice, "/dev/full"},
                                                  {Stdout::kPipeWithoutReader, "broken pipe"}};
  for (const auto& [kind, what] : kinds) {
    SCOPED_TRACE(what);
    Case c;
    c.setup(setup, kNames);
    c.write("d.txt", data);
    EXPECT_EQ(run_with_stdout(c, kind), 0);
    EXPECT_EQ(c.read("stderr.txt"), "");
    std::filesystem::remove(c.dir() / "stderr.txt");
    expect_same_files(expected, snapshot(c));
  }
}

// ---------------------------------------------------------------------------
// A full device

// An input/output failure: exit 2, one line on standard error naming the
// file, no stop line and no marker (an old one is put there first).
void expect_io_failure(const Case& c, const Outcome& o, const std::string& file) {
  EXPECT_EQ(o.status, 2) << o.err;
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
  EXPECT_TRUE(contains(o.err, "\"" + file + "\"")) << o.err;
  EXPECT_FALSE(contains(o.out, "STOP"));
  EXPECT_FALSE(c.exists("SUCCES.ST$"));
}

TEST(RunFilesDiskFull, AnOutputFileOnAFullDeviceFailsTheNormalEnd) {
  struct Full {
    const char* what;
    const char* values;
    std::size_t name;  // which of the six names is /dev/full
  } cases[] = {
      {"object scores", "4 2 3 0 2 0 0 0 0 0 0 1", 1},
      {"variable scores", "4 2 3 0 2 0 0 0 0 0 0 1", 2},
      {"matrix file", "4 2 2 2 2 0 0 0 0 0 0 1", 5},
  };
  for (const auto& f : cases) {
    SCOPED_TRACE(f.what);
    Case c;
    std::vector<std::string> names = kNames;
    names[f.name] = "/dev/full";
    c.setup(f.values, names);
    c.write("d.txt", kTiny);
    c.write("SUCCES.ST$", "");
    expect_io_failure(c, c.run(), "/dev/full");
  }
}

TEST(RunFilesDiskFull, AReportThatCannotBeWrittenAtAnAnalysisStopFailsTheRun) {
  // A zero-variance stop under a file-size limit of one block: the report
  // cannot be written when it is closed at the stop (the limit's signal is
  // ignored, so the write fails as on a full disk).
  Case c;
  c.setup("4 2 3 0 2 0 0 0 0 0 0 1", kNames);
  c.write("d.txt", "flat\n4\n1 2\n2 2\n3 2\n4 2\n");
  c.write("SUCCES.ST$", "");
  const std::string cmd = "cd '" + c.dir().string() + "' && trap '' XFSZ && ulimit -f 1 && '" +
                          ORTHAXIS_BINARY + "' > stdout.txt 2> stderr.txt";
  const int rc = std::system(cmd.c_str());
  Outcome o;
  o.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  o.out = c.read("stdout.txt");
  o.err = c.read("stderr.txt");
  expect_io_failure(c, o, "ORTHAXIS.ST$");
  EXPECT_TRUE(c.exists("T.TMP"));
}

}  // namespace
}  // namespace orthaxis::e2e
