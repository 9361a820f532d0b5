// The run called in-process on a directory gives what the program gives
// when started there, byte for byte, and leaves the process's own working
// directory where it was.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "driver/run.h"
#include "e2e/harness.h"
#include "textio/console.h"

namespace orthaxis::driver {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> files_of(const e2e::Case& c) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(c.dir()))
    files[e.path().filename().string()] = c.read(e.path().filename().string());
  return files;
}

TEST(RunInProcess, GivesTheProgramsFilesAndConsoleWithoutChangingDirectory) {
  struct Row {
    const char* example;
    bool tables_and_pictures;
  };
  for (const Row& r : {Row{"iris", false}, Row{"dune", false}, Row{"iris", true}}) {
    SCOPED_TRACE(r.example);
    e2e::Case started, called;
    started.copy_example(r.example);
    called.copy_example(r.example);
    const e2e::Outcome o = started.run(r.tables_and_pictures ? "--csv --svg" : "");
    ASSERT_EQ(o.status, 0) << o.err;

    Options options;
    options.for_person = options.csv = options.svg = r.tables_and_pictures;
    const fs::path before = fs::current_path();
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    ASSERT_NE(out, nullptr);
    {
      textio::Console console(out, false);
      run(console, options, textio::Directory(called.dir().string()));
      console.write(" STOP  ");
    }
    std::fclose(out);
    const std::string console_text(text, size);
    std::free(text);
    EXPECT_EQ(fs::current_path(), before);
    EXPECT_EQ(console_text, o.out);
    EXPECT_EQ(files_of(called), files_of(started));
  }
}

}  // namespace
}  // namespace orthaxis::driver
