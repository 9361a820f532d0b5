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

// ---------------------------------------------------------------------------
// Names that make two parts of a run one file

const std::string kPca = "4 2 3 0 2 0 0 0 0 0 0 1";
const std::string kLabels = "4\nO1\nO2\nO3\nO4\n";

// The setup's names with some replaced (index into the six names).
std::vector<std::string> names_with(const std::map<std::size_t, std::string>& changed) {
  std::vector<std::string> names = kNames;
  for (const auto& [i, name] : changed) names[i] = name;
  return names;
}

// Inputs of every case, and the other ways of naming d.txt.
void prepare(const Case& c, const std::string& values,
             const std::map<std::size_t, std::string>& changed) {
  c.setup(values, names_with(changed));
  c.write("d.txt", kTiny);
  c.write("vl.txt", kLabels);
  c.write("ol.txt", kLabels);
  std::filesystem::create_directory(c.dir() / "sub");
  std::filesystem::create_symlink("d.txt", c.dir() / "link.txt");
  std::filesystem::create_hard_link(c.dir() / "d.txt", c.dir() / "hard.txt");
}

TEST(RunFilesNames, AnOutputOverAnyFileOrAnInputOverAFixedFileIsRefusedTouchingNothing) {
  struct Collision {
    const char* what;
    std::string values;
    std::map<std::size_t, std::string> names;
    std::vector<std::string> message;  // both parts and the name
    bool reads_marker = false;         // SUCCES.ST$ is a file the setup reads
  } cases[] = {
      {"variable scores = data", kPca, {{2, "d.txt"}},
       {"variable-score file", "data file", "\"d.txt\""}},
      {"object scores = data", kPca, {{1, "d.txt"}}, {"object-score file", "data file"}},
      {"object scores = ./data", kPca, {{1, "./d.txt"}}, {"object-score file", "\"./d.txt\""}},
      {"object scores = sub/../data", kPca, {{1, "sub/../d.txt"}}, {"object-score", "data file"}},
      {"object scores = link to data", kPca, {{1, "link.txt"}}, {"object-score", "data file"}},
      {"object scores = hard link to data", kPca, {{1, "hard.txt"}}, {"object-score", "data"}},
      {"object scores = variable scores", kPca, {{1, "s.txt"}, {2, "s.txt"}},
       {"variable-score file", "object-score file", "\"s.txt\""}},
      {"matrix = variable labels", "4 2 3 1 2 0 0 1 0 0 0 1", {{5, "vl.txt"}},
       {"matrix file", "variable-labels file", "\"vl.txt\""}},
      {"matrix = object scores", "4 2 2 2 2 0 0 0 0 0 0 1", {{5, "obj.txt"}},
       {"matrix file", "object-score file"}},
      {"variable scores = setup", kPca, {{2, "ORTHAXIS.ST$"}}, {"variable-score", "setup file"}},
      {"variable scores = EIGENV.ST$", kPca, {{2, "EIGENV.ST$"}}, {"eigenvalue file"}},
      {"variable scores = T.TMP", kPca, {{2, "T.TMP"}}, {"variable-score", "scratch file"}},
      {"data = setup file", kPca, {{0, "ORTHAXIS.ST$"}}, {"data file", "setup file"}},
      {"data = NEWDATA.st$ when transposing", "2 4 3 0 2 0 0 0 0 0 0 0", {{0, "NEWDATA.st$"}},
       {"data file", "transposed data file", "\"NEWDATA.st$\""}},
      {"variable scores = SUCCES.ST$", kPca, {{2, "SUCCES.ST$"}},
       {"variable-score file", "success marker"}},
      {"data = SUCCES.ST$", kPca, {{0, "SUCCES.ST$"}}, {"data file", "success marker"}, true},
      {"object labels = SUCCES.ST$", "4 2 3 0 2 0 1 0 0 0 0 1", {{4, "SUCCES.ST$"}},
       {"object-labels file", "success marker"}, true},
      // A setup refused for a value keeps a data file named SUCCES.ST$ too.
      {"bad analysis type, data = SUCCES.ST$", "4 2 7 0 2 0 0 0 0 0 0 1", {{0, "SUCCES.ST$"}},
       {"analysis type", "7"}, true},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    Case c;
    prepare(c, k.values, k.names);
    c.write("NEWDATA.st$", kTiny);
    // A marker of an earlier run goes; a file of that name that the setup
    // reads stays.
    c.write("SUCCES.ST$", k.reads_marker ? kTiny : "");
    auto expected = snapshot(c);
    if (!k.reads_marker) expected.erase("SUCCES.ST$");
    Outcome o = c.run();
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    for (const auto& word : k.message) EXPECT_TRUE(contains(o.err, word)) << word << ": " << o.err;
    EXPECT_FALSE(contains(o.out, "STOP"));
    expect_same_files(expected, snapshot(c));
  }
}

TEST(RunFilesNames, InputsSharedUnusedNamesOldTransposedDataAndOtherDirectoriesAreAllowed) {
  Case elsewhere;
  const std::string outside = (elsewhere.dir() / "obj.txt").string();
  struct Allowed {
    const char* what;
    std::string values;
    std::map<std::size_t, std::string> names;
  } cases[] = {
      {"both labels from one file", "4 2 3 0 2 0 1 1 0 0 0 1", {{4, "vl.txt"}}},
      {"unused label and matrix names", kPca, {{3, "d.txt"}, {4, "var.txt"}, {5, "obj.txt"}}},
      {"no matrix file for correspondence analysis", "4 2 4 2 2 0 0 0 0 0 0 1", {{5, "d.txt"}}},
      {"NEWDATA.st$ of an earlier run as data", kPca, {{0, "NEWDATA.st$"}}},
      {"object scores in another directory", kPca, {{1, outside}}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    Case c;
    prepare(c, k.values, k.names);
    c.write("NEWDATA.st$", kTiny);
    Outcome o = c.run();
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(c.exists("SUCCES.ST$"));
    EXPECT_EQ(c.read("d.txt"), kTiny);
  }
  EXPECT_TRUE(std::filesystem::exists(outside));
}

}  // namespace
}  // namespace orthaxis::e2e
