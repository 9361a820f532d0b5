// The printed reports of the statistics pass: the table of the variables'
// statistics, the sums of squares of cross products, and the resemblance
// matrix with its check for undefined values.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "analysis/packed.h"
#include "analysis/statistics.h"

namespace orthaxis::analysis {

namespace {

const textio::Format kStatisticsHeader{
    "(///5X,'VARIABLES STATISTICS'//5X,'POOLED VARIANCE =',  F38.4//1X,'VARIABLE',7X,'MEAN',4X,"
    "'STANDARD DEVIATION',14X,  'VARIANCE',4X,'VARIANCE'/70X,'AS %'//)"};
const textio::Format kStatisticsLineLabelled{"(I4,1X,A8,1X,E8.3,E20.6,E22.6,F11.4)"};
const textio::Format kStatisticsLine{"(I6,E16.6,E20.6,E22.6,E11.4)"};
const textio::Format kSquaresHeader{
    "(/' SUM OF SQUARED DISTANCES FROM ORIGIN FOR EACH VAR.'/  ' VARIABLE      SUM OF SQUARES'/)"};
const textio::Format kSquaresTotal{"(/' TOTAL SUM OF SQUARES =',F20.4//)"};
const textio::Format kZeroVariance{
    "(//3X,'ABNORMAL TERMINATION. REMOVE THE VARIABLE(S)',  ' WITH ZERO VARIANCE AND "
    "RESTART'//)"};
const textio::Format kUndefinedResemblance{
    "(//3X,'ABNORMAL TERMINATION. RESEMBLANCE OF VARIABLES',I5,' AND',I5,' IS UNDEFINED'//)"};
const textio::Format kResemblanceHeader{"(///3X,'RESEMBLANCE MATRIX'//)"};
const textio::Format kResemblanceRowLabelled{"(2X,'ROW',I4,1X,A8/(5E12.4))"};
const textio::Format kResemblanceRow{"(2X,'ROW',I4/(5E12.4))"};

}  // namespace

bool report_statistics(textio::Printer& print, AnalysisType type, std::int32_t p,
                       std::span<const float> a, const Statistics& st, const Labels& labels) {
  print.both(kStatisticsHeader, {st.pooled_variance});
  for (std::int32_t i = 1; i <= p; ++i) {
    const std::size_t k = static_cast<std::size_t>(i - 1);
    const float variance = st.sd[k] * st.sd[k];
    const float share = 100.0f * variance / st.pooled_variance;
    if (labels.used) {
      print.both(kStatisticsLineLabelled,
                 {i, labels.text[k], st.mean[k], st.sd[k], variance, share});
    } else {
      print.both(kStatisticsLine, {i, st.mean[k], st.sd[k], variance, share});
    }
  }
  if (type == AnalysisType::kCrossProducts) {
    print.both(kSquaresHeader);
    float total = 0.0f;
    for (std::int32_t i = 1; i <= p; ++i) {
      const float diagonal = a[packed_index(static_cast<std::size_t>(i), static_cast<std::size_t>(i))];
      print.both(kStatisticsLine, {i, diagonal});
      total += diagonal;
    }
    print.both(kSquaresTotal, {total});
  }
  if (st.zero_variance) {
    print.both(kZeroVariance);
    return false;
  }
  return check_resemblance(print, p, a);
}

bool check_resemblance(textio::Printer& print, std::int32_t p, std::span<const float> a) {
  const std::size_t np = static_cast<std::size_t>(p);
  for (std::size_t r = 1; r <= np; ++r) {
    for (std::size_t c = 1; c <= r; ++c) {
      if (!std::isfinite(a[packed_index(r, c)])) {
        print.both(kUndefinedResemblance,
                   {static_cast<std::int32_t>(c), static_cast<std::int32_t>(r)});
        return false;
      }
    }
  }
  return true;
}

void print_resemblance(textio::Printer& print, std::int32_t p, std::span<const float> a,
                       std::span<float> row_buffer, const Labels& labels) {
  print.both(kResemblanceHeader);
  const std::size_t np = static_cast<std::size_t>(p);
  for (std::size_t r = 1; r <= np; ++r) {
    for (std::size_t c = 1; c <= np; ++c) row_buffer[c - 1] = a[symmetric_index(r, c)];
    const std::span<const float> values(row_buffer.data(), np);
    const std::int32_t row = static_cast<std::int32_t>(r);
    if (labels.used) {
      print.both(kResemblanceRowLabelled, {row, labels.text[r - 1], values});
    } else {
      print.both(kResemblanceRow, {row, values});
    }
  }
}

}  // namespace orthaxis::analysis
