#pragma once
// Runs the built program in a fresh temporary working directory and reads
// back what it left there.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace orthaxis::e2e {

struct Outcome {
  int status = -1;
  std::string out;  // console (standard output)
  std::string err;  // standard error
};

class Case {
 public:
  Case() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "orthaxis-e2e-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) std::abort();
    dir_ = buf.data();
  }
  ~Case() {
    std::error_code ec;
    if (std::getenv("ORTHAXIS_KEEP_E2E") == nullptr) std::filesystem::remove_all(dir_, ec);
  }
  Case(const Case&) = delete;
  Case& operator=(const Case&) = delete;

  const std::filesystem::path& dir() const { return dir_; }

  void write(const std::string& name, const std::string& content) const {
    std::ofstream f(dir_ / name, std::ios::binary);
    f << content;
  }
  // The setup file: twelve values on one line, then six names.
  void setup(const std::string& values, const std::vector<std::string>& names) const {
    std::string s = values + "\n";
    for (const auto& n : names) s += n + "\n";
    write("ORTHAXIS.ST$", s);
  }
  void copy_example(const std::string& example) const {
    for (const auto& e : std::filesystem::directory_iterator(
             std::filesystem::path(ORTHAXIS_SOURCE_DIR) / "examples" / example))
      std::filesystem::copy_file(e.path(), dir_ / e.path().filename(),
                                 std::filesystem::copy_options::overwrite_existing);
  }
  bool exists(const std::string& name) const { return std::filesystem::exists(dir_ / name); }
  std::string read(const std::string& name) const {
    std::ifstream f(dir_ / name, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  }
  std::vector<std::string> lines(const std::string& name) const { return split(read(name)); }

  // Runs the program in the case's directory; `args` is appended to the
  // command line as it stands (shell words).
  Outcome run(const std::string& args = "") const { return run_with("", args); }
  // The same, started by `prefix` (shell words, e.g. "timeout 60" or
  // "ulimit -v 100000 &&").
  Outcome run_with(const std::string& prefix, const std::string& args = "") const {
    const std::string cmd = "cd '" + dir_.string() + "' && " + prefix + " '" + ORTHAXIS_BINARY +
                            "'" + (args.empty() ? "" : " " + args) + " > stdout.txt 2> stderr.txt";
    int rc = std::system(cmd.c_str());
    Outcome o;
    o.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    o.out = read("stdout.txt");
    o.err = read("stderr.txt");
    std::filesystem::remove(dir_ / "stdout.txt");
    std::filesystem::remove(dir_ / "stderr.txt");
    return o;
  }

  // Records of a text: split at LF; a final LF ends the last record.
  static std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
      if (c == '\n') {
        out.push_back(cur);
        cur.clear();
      } else {
        cur += c;
      }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
  }

 private:
  std::filesystem::path dir_;
};

// The numbers that follow `heading` in `text`, up to `next` (or the end).
inline std::vector<double> numbers_between(const std::string& text, const std::string& heading,
                                           const std::string& next) {
  std::vector<double> values;
  auto start = text.find(heading);
  if (start == std::string::npos) return values;
  start += heading.size();
  auto end = next.empty() ? std::string::npos : text.find(next, start);
  std::istringstream in(text.substr(start, end == std::string::npos ? end : end - start));
  for (std::string tok; in >> tok;) values.push_back(std::strtod(tok.c_str(), nullptr));
  return values;
}

// The eigenvalues listed in a report, in order.
inline std::vector<double> eigenvalues(const std::string& report) {
  return numbers_between(report, "   EIGENVALUES\n", "EIGENVALUES AS PERCENT");
}

}  // namespace orthaxis::e2e
