#include "driver/outputs_manifest.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

#include "driver/extras.h"
#include "textio/output_file.h"
#include "textio/units.h"

namespace orthaxis::driver {

namespace {

// Whether `name` is a file that a person's run may write beside the report.
bool is_output_name(std::string_view name) {
  static const std::vector<std::string> names = every_extra_file();
  return std::find(names.begin(), names.end(), name) != names.end();
}

// "SIZE CHECKSUM" of a regular file (its length and the 64-bit FNV-1a hash
// of its bytes, in hexadecimal); empty when it is none. The same bytes give
// the same stamp, so the record is as reproducible as the files it lists.
std::string stamp(const std::string& path) {
  struct stat s;
  if (::lstat(path.c_str(), &s) != 0 || !S_ISREG(s.st_mode)) return {};
  std::ifstream in(path, std::ios::binary);
  std::uint64_t hash = 0xcbf29ce484222325u;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    for (std::streamsize k = 0; k < in.gcount(); ++k) {
      hash ^= static_cast<unsigned char>(buffer[k]);
      hash *= 0x100000001b3u;
    }
  }
  if (in.bad()) return {};
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return std::to_string(s.st_size) + " " + hex;
}

}  // namespace

void remove_earlier_outputs(const textio::Directory& dir,
                            const std::function<bool(const std::string&)>& spared) {
  const std::string manifest = dir.path(kOutputsManifest);
  std::ifstream in(manifest);
  if (!in) return;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string name, size, sum;
    if (!(fields >> name >> size >> sum) || !is_output_name(name)) continue;
    const std::string path = dir.path(name);
    if (stamp(path) == size + " " + sum && !spared(path)) std::remove(path.c_str());
  }
  in.close();
  std::remove(manifest.c_str());
}

void write_outputs_manifest(const textio::Directory& dir, const std::vector<std::string>& written) {
  if (written.empty()) return;
  textio::OutputFile f(textio::units::kOutputsManifest, dir, kOutputsManifest);
  f.write("# written by orthaxis: name, size in bytes, FNV-1a 64-bit checksum");
  for (const std::string& name : written) f.write(name + " " + stamp(dir.path(name)));
  f.close();
}

}  // namespace orthaxis::driver
