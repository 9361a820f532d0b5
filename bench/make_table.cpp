// Writes a whole-run benchmark case into a directory: a data file of n
// objects by p variables (values with three decimals, driven by a few hidden
// factors so that the leading eigenvalues stand apart) and the setup file
// that runs the program on it.
//
//   make_table DIR N P [TYPE [MISSING_PER_MILLE [SEED]]]
//
// TYPE is the analysis type (3, correlations, by default; 4 writes a
// contingency table of small counts). A missing value is written as -1.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: make_table DIR N P [TYPE [MISSING_PER_MILLE [SEED]]]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long n = std::atol(argv[2]);
  const long p = std::atol(argv[3]);
  const int type = argc > 4 ? std::atoi(argv[4]) : 3;
  const int missing = argc > 5 ? std::atoi(argv[5]) : 0;
  const unsigned seed = argc > 6 ? static_cast<unsigned>(std::atoi(argv[6])) : 1;
  if (n < 2 || p < 2 || type < 1 || type > 4) return 2;

  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  constexpr int kFactors = 4;
  std::vector<double> loading(static_cast<std::size_t>(p * kFactors));
  for (auto& l : loading) l = unit(rng) * 2.0;

  std::FILE* f = std::fopen((dir + "/data.dat").c_str(), "wb");
  if (f == nullptr) return 2;
  std::setvbuf(f, nullptr, _IOFBF, 1 << 20);
  std::fprintf(f, "Benchmark table %ld x %ld\n%ld %ld\n", n, p, n, p);
  std::string line;
  char buf[32];
  for (long i = 0; i < n; ++i) {
    double factor[kFactors];
    for (auto& z : factor) z = unit(rng) * 4.0;
    line.clear();
    for (long j = 0; j < p; ++j) {
      int len = 0;
      if (type == 4) {
        len = std::snprintf(buf, sizeof buf, " %d", static_cast<int>(unit(rng) * 10.0 + factor[j % kFactors]));
      } else if (missing > 0 && static_cast<int>(rng() % 1000) < missing) {
        len = std::snprintf(buf, sizeof buf, " -1");
      } else {
        double v = 10.0 + unit(rng) * 4.0;
        for (int k = 0; k < kFactors; ++k) v += loading[static_cast<std::size_t>(j * kFactors + k)] * factor[k];
        len = std::snprintf(buf, sizeof buf, " %.3f", v);
      }
      line.append(buf, static_cast<std::size_t>(len));
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), f);
  }
  if (std::fclose(f) != 0) return 2;

  std::FILE* s = std::fopen((dir + "/ORTHAXIS.ST$").c_str(), "wb");
  if (s == nullptr) return 2;
  std::fprintf(s, "%ld %ld %d 0 3 0 0 0 0 0 0 1\ndata.dat\nobj.sco\nvar.sco\nvar.lab\nobj.lab\nmatrix.mat\n",
               n, p, type);
  return std::fclose(s) == 0 ? 0 : 2;
}
