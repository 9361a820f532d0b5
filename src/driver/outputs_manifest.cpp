#include "driver/outputs_manifest.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

#include "export/csv.h"
#include "export/svg.h"
#include "textio/output_file.h"
#include "textio/units.h"

namespace orthaxis::driver {

namespace {

constexpr const char* kOutputNames[] = {csv::kEigenvalueTable, csv::kObjectTable,
                                        csv::kVariableTable, svg::kBiplotFile, svg::kScreeFile};

bool is_output_name(std::string_view name) {
  return std::find(std::begin(kOutputNames), std::end(kOutputNames), name) !=
         std::end(kOutputNames);
}

// "SIZE SECONDS.NANOSECONDS" of a regular file; empty when it is none.
std::string stamp(const std::string& path) {
  struct stat s;
  if (::lstat(path.c_str(), &s) != 0 || !S_ISREG(s.st_mode)) return {};
  return std::to_string(s.st_size) + " " + std::to_string(s.st_mtim.tv_sec) + "." +
         std::to_string(s.st_mtim.tv_nsec);
}

}  // namespace

void remove_earlier_outputs(const textio::Directory& dir,
                            const std::function<bool(const std::string&)>& spared) {
  const std::string manifest = dir.path(kOutputsManifest);
  std::ifstream in(manifest);
  if (!in) return;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string name, size, time;
    if (!(fields >> name >> size >> time) || !is_output_name(name)) continue;
    const std::string path = dir.path(name);
    if (stamp(path) == size + " " + time && !spared(path)) std::remove(path.c_str());
  }
  in.close();
  std::remove(manifest.c_str());
}

void write_outputs_manifest(const textio::Directory& dir, const std::vector<std::string>& written) {
  if (written.empty()) return;
  textio::OutputFile f(textio::units::kOutputsManifest, dir, kOutputsManifest);
  f.write("# written by orthaxis: name, size in bytes, modification time");
  for (const std::string& name : written) f.write(name + " " + stamp(dir.path(name)));
  f.close();
}

}  // namespace orthaxis::driver
