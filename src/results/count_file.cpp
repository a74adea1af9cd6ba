#include "results/count_file.h"

#include <cstddef>

#include "results/grid_file.h"
#include "textio/fixed_record.h"

namespace periodscan {

void write_counts(RecordSink& sink, std::span<const std::int32_t> counts, float xmin, float S) {
  for (std::size_t i = 0; i < counts.size(); ++i) {
    const std::int32_t w = static_cast<std::int32_t>(i) + 1;
    write_fixed(sink, FixedLayout::kGeneral15Int10, {Item(time_mark(xmin, S, w)), Item(counts[i])});
  }
}

}  // namespace periodscan
