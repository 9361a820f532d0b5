// The command line: what each form sets, what is refused, and that a refused
// or informational command line leaves the working directory as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "driver/options.h"
#include "e2e/harness.h"

namespace orthaxis::driver {
namespace {

Options parse(std::vector<std::string_view> args) { return parse_options(args); }

TEST(CommandLine, NoArgumentsIsTheFrontEndRun) {
  const Options o = parse({});
  EXPECT_FALSE(o.for_person || o.help || o.version || o.check || o.quiet || o.csv || o.svg || o.importing());
  EXPECT_EQ(o.threads, 0);
  EXPECT_TRUE(o.dir.empty());
}

TEST(CommandLine, OptionsAndDirectory) {
  const Options o = parse({"--quiet", "--threads", "3", "--csv", "work", "--svg"});
  EXPECT_TRUE(o.for_person && o.quiet && o.csv && o.svg);
  EXPECT_EQ(o.threads, 3);
  EXPECT_EQ(o.dir, "work");

  const Options i = parse({"--import=t.csv", "--sep", "tab", "--dec=,", "--analysis",
                           "correspondence", "--axes", "2", "--force", "--", "-odd-dir"});
  EXPECT_EQ(i.import_file, "t.csv");
  EXPECT_EQ(i.separator, '\t');
  EXPECT_EQ(i.decimal, ',');
  EXPECT_EQ(i.analysis, ImportAnalysis::kCorrespondence);
  EXPECT_EQ(i.axes, 2);
  EXPECT_TRUE(i.force);
  EXPECT_EQ(i.dir, "-odd-dir");
}

TEST(CommandLine, RefusedForms) {
  const std::vector<std::vector<std::string_view>> refused = {
      {"--bogus"},          {"-x"},         {"a", "b"},          {"--threads"},
      {"--threads", "0"},   {"--threads=x"}, {"--axes", "2"},     {"--import"},
      {"--import", "t.csv", "--sep", "|"},  {"--import", "t.csv", "--dec", ";"},
      {"--import", "t.csv", "--analysis", "pca"}, {"--help=yes"},
      {"--import", "t.csv", "--sep", ";", "--dec", ";"},
  };
  for (const auto& args : refused) {
    SCOPED_TRACE(args.empty() ? "" : std::string(args[0]));
    EXPECT_THROW(parse(args), UsageError);
  }
}

// Every file of the directory with its content.
std::map<std::string, std::string> snapshot(const e2e::Case& c) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(c.dir()))
    files[e.path().filename().string()] = c.read(e.path().filename().string());
  return files;
}

TEST(CommandLine, HelpVersionAndMistakesTouchNothing) {
  e2e::Case c;
  c.copy_example("iris");
  const auto before = snapshot(c);
  struct Expect {
    std::string args;
    int status;
    std::string out_start, err_start;
  };
  const std::vector<Expect> cases = {
      {"--help", 0, "usage: orthaxis [OPTIONS] [DIR]", ""},
      {"-h", 0, "usage: orthaxis [OPTIONS] [DIR]", ""},
      {"--version", 0, "orthaxis " + std::string(kVersion) + "\n", ""},
      {"--bogus", 2, "", "ORTHAXIS: unknown option \"--bogus\"; usage: orthaxis"},
      {"--threads", 2, "", "ORTHAXIS: option --threads needs a value; usage:"},
      {". other", 2, "", "ORTHAXIS: more than one directory given"},
  };
  for (const auto& e : cases) {
    SCOPED_TRACE(e.args);
    const e2e::Outcome o = c.run(e.args);
    EXPECT_EQ(o.status, e.status);
    EXPECT_EQ(o.out.substr(0, e.out_start.size()), e.out_start);
    EXPECT_EQ(o.err.substr(0, e.err_start.size()), e.err_start);
    if (e.status == 2) {
      EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1);
    }
    EXPECT_EQ(snapshot(c), before);
  }
}

TEST(CommandLine, DirectoryArgumentRunsThere) {
  e2e::Case c;
  std::filesystem::create_directory(c.dir() / "job");
  for (const auto& e : std::filesystem::directory_iterator(
           std::filesystem::path(ORTHAXIS_SOURCE_DIR) / "examples" / "iris"))
    std::filesystem::copy_file(e.path(), c.dir() / "job" / e.path().filename());
  const e2e::Outcome o = c.run("job");
  EXPECT_EQ(o.status, 0);
  EXPECT_TRUE(c.exists("job/SUCCES.ST$"));
  EXPECT_FALSE(c.exists("SUCCES.ST$"));
  EXPECT_EQ(c.run("missing-dir").status, 2);
}

}  // namespace
}  // namespace orthaxis::driver
