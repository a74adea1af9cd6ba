#include "results/static_regime.h"

#include "scan/period_scan.h"
#include "textio/fixed_record.h"
#include "textio/list_record.h"

namespace periodscan {

void run_static_regime(Channels& io, const std::vector<float>& t, float Tmin, float Tmax,
                       int32_t NP) {
  // The scan obtains its storage before the spectrum file is opened, so that
  // a grid too large for memory ends the run before the file is made.
  scan_periods(t, Tmin, Tmax, NP,
               {.started =
                    [&] {
                      io.file.open_output(kSpectrumFileName);
                      write_list(io.console, {Item(" ")});
                    },
                .period_done =
                    [&](int32_t k, float period, const SearchResult& found) {
                      write_fixed(io.file, FixedLayout::kGeneral15,
                                  {Item(period), Item(found.delta_log_lik), Item(found.A)});
                      io.file.flush();
                      write_fixed(io.console, FixedLayout::kProgress1, {Item(NP - k)});
                    }});
}

}  // namespace periodscan
