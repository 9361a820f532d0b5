#include "driver/run_files.h"

#include <filesystem>
#include <system_error>

#include "driver/run.h"
#include "input/data_matrix.h"
#include "results/eigen_report.h"
#include "textio/free_format.h"

namespace orthaxis::driver {

namespace {

namespace fs = std::filesystem;

fs::path resolved(const std::string& name) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(name, ec);
  if (ec) return fs::path(name).lexically_normal();
  const fs::path real = fs::weakly_canonical(absolute, ec);
  return ec ? absolute.lexically_normal() : real;
}

// Two files of the run may be one file only when neither is written and
// they are not an input and a fixed file.
bool must_differ(const RunFile& a, const RunFile& b) {
  return a.kind == RunFile::Kind::kOutput || b.kind == RunFile::Kind::kOutput ||
         a.kind != b.kind;
}

}  // namespace

std::vector<RunFile> files_of_run(const RunPlan& plan, const FileNames& names,
                                  const textio::Directory& dir) {
  using Kind = RunFile::Kind;
  std::vector<RunFile> files = {
      {"setup file", kSetupFile, Kind::kFixed},
      {"success marker", kSuccessFile, Kind::kFixed},
      {"eigenvalue file", results::kEigenvalueFile, Kind::kFixed},
      {"eigenvector file", results::kEigenvectorFile, Kind::kFixed},
      {"scratch file", kScratchFile, Kind::kFixed},
  };
  if (plan.transpose)
    files.push_back({"transposed data file", input::kTransposedName, Kind::kFixed});
  auto named = [&files](const char* role, const std::string& field, Kind kind) {
    std::string name(textio::trim_right(field));
    if (!name.empty()) files.push_back({role, std::move(name), kind});
  };
  named("data file", names.data, Kind::kInput);
  if (plan.variable_labels) named("variable-labels file", names.variable_labels, Kind::kInput);
  if (plan.object_labels) named("object-labels file", names.object_labels, Kind::kInput);
  named("object-score file", names.object_scores, Kind::kOutput);
  named("variable-score file", names.variable_scores, Kind::kOutput);
  if (plan.matrix != MatrixFile::kNone) named("matrix file", names.matrix, Kind::kOutput);
  if (!dir.is_current())
    for (RunFile& f : files) f.path = dir.path(f.name);
  return files;
}

void check_distinct(std::span<const RunFile> files) {
  for (std::size_t j = 1; j < files.size(); ++j) {
    for (std::size_t i = 0; i < j; ++i) {
      const RunFile& a = files[j];
      const RunFile& b = files[i];
      if (must_differ(a, b) && same_file(a.reached(), b.reached())) {
        throw SetupError(std::string("invalid setup file names: the ") + a.role + " \"" + a.name +
                         "\" is the same file as the " + b.role + " \"" + b.name + "\"");
      }
    }
  }
}

bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return resolved(a) == resolved(b);
}

}  // namespace orthaxis::driver
