// Record files (read, write, rewind, replace), the console's carriage control
// and the printer that sends one format to both.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "textio/console.h"
#include "textio/format.h"
#include "textio/io_error.h"
#include "textio/printer.h"
#include "textio/record_file.h"

namespace {

namespace tio = orthaxis::textio;
using tio::Console;
using tio::IoError;
using tio::RecordFile;
using Open = RecordFile::Open;

class RecordFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("orthaxis_records_" + std::to_string(::getpid()) + "_" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  std::string put(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
    return path(name);
  }
  static std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static std::vector<std::string> all_records(RecordFile& f) {
    std::vector<std::string> out;
    std::string_view r;
    while (f.next_record(r)) {
      out.emplace_back(r);
      EXPECT_EQ(f.line(), static_cast<std::int64_t>(out.size()));
    }
    return out;
  }

  std::filesystem::path dir_;
};

TEST_F(RecordFiles, WrittenRecordsEndInLineFeedsAndReadBackAfterRewind) {
  std::string p = path("out.txt");
  RecordFile f(3, p, Open::kReplace);
  f.write("first");
  f.write("");
  f.write(" third  ");
  f.rewind();
  EXPECT_EQ(all_records(f), std::vector<std::string>({"first", "", " third  "}));
  f.close();
  EXPECT_EQ(slurp(p), "first\n\n third  \n");
}

TEST_F(RecordFiles, LineEndsOfInput) {
  std::string p = put("in.txt", "a\r\nb\n\r\nc\rd\nlast\r");
  RecordFile f(1, p, Open::kExisting);
  // Only a CR right before the line end belongs to the line end.
  EXPECT_EQ(all_records(f), std::vector<std::string>({"a", "b", "", "c\rd", "last"}));
}

TEST_F(RecordFiles, WritingAfterARewindReplacesTheRestOfTheFile) {
  std::string p = put("ORTHAXIS.ST$", "1 2 3\nname one\nname two\n");
  {
    RecordFile f(9, p, Open::kExisting);
    std::string_view r;
    ASSERT_TRUE(f.next_record(r));
    ASSERT_TRUE(f.next_record(r));
    f.rewind();
    f.write(" REPORT");
    f.close();
  }
  EXPECT_EQ(slurp(p), " REPORT\n");
}

TEST_F(RecordFiles, WritingAfterReadingKeepsTheRecordsRead) {
  std::string p = put("mixed.txt", "keep\r\ndrop 1\ndrop 2\n");
  {
    RecordFile f(9, p, Open::kExisting);
    std::string_view r;
    ASSERT_TRUE(f.next_record(r));
    f.write("new");
  }  // the destructor writes what is pending
  EXPECT_EQ(slurp(p), "keep\r\nnew\n");
}

TEST_F(RecordFiles, WritingAfterAnUnterminatedLastRecordStartsANewRecord) {
  std::string p = put("open_end.txt", "first\nlast");
  {
    RecordFile f(9, p, Open::kExisting);
    std::string_view r;
    ASSERT_TRUE(f.next_record(r));
    ASSERT_TRUE(f.next_record(r));
    EXPECT_EQ(r, "last");
    f.write("new");
  }
  EXPECT_EQ(slurp(p), "first\nlast\nnew\n");
}

TEST_F(RecordFiles, RewindAfterTheEndReadsFromTheFirstRecordAgain) {
  RecordFile f(1, put("again.txt", "title\n3 4\n1 2"), Open::kExisting);
  std::vector<std::string> first = all_records(f);
  std::string_view r;
  EXPECT_FALSE(f.next_record(r));
  f.rewind();
  EXPECT_EQ(all_records(f), first);
  f.rewind();
  ASSERT_TRUE(f.next_record(r));
  EXPECT_EQ(r, "title");
  EXPECT_EQ(f.line(), 1);
}

TEST_F(RecordFiles, OpeningAMissingExistingFileFailsWithoutCreatingIt) {
  std::string p = path("missing.dat");
  try {
    RecordFile f(1, p, Open::kExisting);
    ADD_FAILURE() << "opened a missing file";
  } catch (const IoError& e) {
    EXPECT_EQ(e.statement(), "OPEN");
    EXPECT_EQ(e.unit(), 1);
    EXPECT_EQ(e.file(), p);
    EXPECT_FALSE(e.reason().empty());
  }
  EXPECT_FALSE(std::filesystem::exists(p));
}

TEST_F(RecordFiles, ReplaceEmptiesAnExistingFile) {
  std::string p = put("old.txt", "old content\nmore\n");
  { RecordFile f(14, p, Open::kReplace); }
  EXPECT_TRUE(std::filesystem::exists(p));
  EXPECT_EQ(std::filesystem::file_size(p), 0u);
}

TEST_F(RecordFiles, RecordsAcrossBufferBoundaries) {
  // Several megabytes of records of varied lengths, some with CRLF, so that
  // record ends (and CRs split from their LFs) fall on every kind of boundary.
  std::string bytes;
  std::vector<std::string> expected;
  for (int k = 0; bytes.size() < (5u << 20); ++k) {
    std::string rec(static_cast<std::size_t>((k * 7919) % 301), static_cast<char>('a' + k % 26));
    rec += std::to_string(k);
    expected.push_back(rec);
    bytes += rec;
    bytes += k % 3 == 0 ? "\r\n" : "\n";
  }
  std::string huge(3u << 20, 'h');
  huge.back() = 'H';
  expected.push_back(huge);
  bytes += huge + "\r\n";
  expected.push_back("tail");
  bytes += "tail";
  RecordFile f(1, put("big.txt", bytes), Open::kExisting);
  std::vector<std::string> got = all_records(f);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t k = 0; k < got.size(); ++k) ASSERT_EQ(got[k], expected[k]) << "record " << k + 1;
}

TEST_F(RecordFiles, MovedFileKeepsItsPosition) {
  RecordFile a(2, put("m.txt", "one\ntwo\n"), Open::kExisting);
  std::string_view r;
  ASSERT_TRUE(a.next_record(r));
  RecordFile b = std::move(a);
  EXPECT_FALSE(a.is_open());
  ASSERT_TRUE(b.next_record(r));
  EXPECT_EQ(r, "two");
  EXPECT_EQ(b.line(), 2);
  EXPECT_EQ(b.unit(), 2);
}

TEST_F(RecordFiles, AssigningOverAnOpenFileWritesItsPendingRecordsOrFails) {
  const std::string first = path("first.txt");
  RecordFile f(4, first, Open::kReplace);
  f.write("pending");
  f = RecordFile(4, path("second.txt"), Open::kReplace);
  EXPECT_EQ(slurp(first), "pending\n");
  EXPECT_EQ(f.path(), path("second.txt"));

  RecordFile full(4, "/dev/full", Open::kReplace);
  full.write("lost");
  EXPECT_THROW(full = RecordFile(4, path("third.txt"), Open::kReplace), IoError);
  EXPECT_FALSE(full.is_open());
}

// ---------------------------------------------------------------- console

std::string console_bytes(const std::function<void(Console&)>& use) {
  std::FILE* tmp = std::tmpfile();
  EXPECT_NE(tmp, nullptr);
  {
    Console c(tmp);
    use(c);
    c.finish();
  }
  std::rewind(tmp);
  std::string out;
  for (int ch; (ch = std::fgetc(tmp)) != EOF;) out += static_cast<char>(ch);
  std::fclose(tmp);
  return out;
}

TEST(ConsoleCarriageControl, NewLinesAreDeferredAndPlusOverprints) {
  std::string out = console_bytes([](Console& c) {
    c.write(" banner");
    c.write(" line");
    c.write("+CURRENT V.= 1");
    c.write("+CURRENT V.= 2");
    c.write("");
    c.write(" end");
  });
  EXPECT_EQ(out, " banner\n line\rCURRENT V.= 1\rCURRENT V.= 2\n\n end\n");
}

TEST(ConsoleCarriageControl, NothingWrittenMeansNoFinalNewline) {
  EXPECT_EQ(console_bytes([](Console&) {}), "");
  EXPECT_EQ(console_bytes([](Console& c) { c.write(""); }), "\n");
}

TEST(ConsoleCarriageControl, FinishIsWrittenOnce) {
  std::string out = console_bytes([](Console& c) {
    c.write("x");
    c.finish();
  });
  EXPECT_EQ(out, "x\n");
}

TEST_F(RecordFiles, ConsoleSendsProgressPhaseBeginsAndTerminalRecordsOnAtOnce) {
  // What has reached the device after each step (the file is read by name).
  struct Step {
    const char* record;  // nullptr: the driver's flush()
    const char* shown;
  };
  const Step buffered[] = {{" banner", ""},
                           {"+CURRENT V.= 1", " banner\rCURRENT V.= 1"},
                           {" block", " banner\rCURRENT V.= 1"},
                           {nullptr, " banner\rCURRENT V.= 1\n block"}};
  const Step terminal[] = {{" banner", " banner"}, {" block", " banner\n block"}};
  for (bool every_record : {false, true}) {
    SCOPED_TRACE(every_record);
    const std::string p = path(every_record ? "terminal.txt" : "pipe.txt");
    std::FILE* out = std::fopen(p.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    {
      Console c(out, every_record);
      for (const Step& s : every_record ? std::span<const Step>(terminal) : buffered) {
        if (s.record != nullptr) c.write(s.record); else c.flush();
        EXPECT_EQ(slurp(p), s.shown) << (s.record ? s.record : "flush");
      }
    }
    std::fclose(out);
  }
}

TEST_F(RecordFiles, PrinterSendsOneFormatToReportAndConsole) {
  std::string p = path("report.txt");
  std::FILE* tmp = std::tmpfile();
  ASSERT_NE(tmp, nullptr);
  {
    RecordFile report(9, p, Open::kReplace);
    Console console(tmp);
    tio::Printer print(report, console);
    tio::Format f("(' N =',I3/' P =',I3)");
    print.both(f, {std::int32_t{12}, std::int32_t{3}});
    print.report(f, {std::int32_t{1}});
    print.console_free({"x", std::int32_t{2}});
  }
  EXPECT_EQ(slurp(p), " N = 12\n P =  3\n N =  1\n P =\n");
  std::rewind(tmp);
  std::string out;
  for (int ch; (ch = std::fgetc(tmp)) != EOF;) out += static_cast<char>(ch);
  std::fclose(tmp);
  EXPECT_EQ(out, " N = 12\n P =  3\n x 2\n");
}

}  // namespace

namespace {

// Records written together leave what they leave written one by one: on the
// console (after records before them, with an overprinting record, empty
// records, on a terminal, through a filter) and in a record file.
TEST_F(RecordFiles, RecordsWrittenTogetherAreTheRecordsWrittenOneByOne) {
  const char* blocks[] = {" a\n b\n", "\n\n c\n", " d\n+e\n f\n", "+g\n"};
  auto keep = [](std::string_view r) { return r != " b"; };
  for (int mode = 0; mode < 3; ++mode) {
    SCOPED_TRACE(mode);
    std::string shown[2];
    for (int together : {0, 1}) {
      const std::string p = path("console" + std::to_string(together) + ".txt");
      const std::string f = path("file" + std::to_string(together) + ".txt");
      std::FILE* out = std::fopen(p.c_str(), "wb");
      ASSERT_NE(out, nullptr);
      {
        Console c(out, mode == 1);
        RecordFile file(9, f, Open::kReplace);
        if (mode == 2) c.keep_only(keep);
        c.write(" before");
        for (std::string_view b : blocks) {
          if (together) {
            c.write_records(b);
            file.write_records(b);
            continue;
          }
          for (std::size_t end; (end = b.find('\n')) != std::string_view::npos; b.remove_prefix(end + 1)) {
            c.write(b.substr(0, end));
            file.write(b.substr(0, end));
          }
        }
      }
      std::fclose(out);
      shown[together] = slurp(p) + "|" + slurp(f);
    }
    EXPECT_EQ(shown[1], shown[0]);
  }
}

}  // namespace
