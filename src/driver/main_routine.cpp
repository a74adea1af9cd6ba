#include "driver/main_routine.h"

#include <vector>

#include "driver/dialogue.h"
#include "driver/event_list_reader.h"
#include "driver/help_text.h"
#include "regimes/moving_window_regime.h"
#include "regimes/static_regime.h"
#include "textio/free_reader.h"
#include "textio/list_record.h"

namespace periodscan {

const RegimeRunners& program_regimes() {
  static const RegimeRunners runners{run_static_regime, run_moving_window_regime};
  return runners;
}

RunEnd MAIN__(Channels& io, const RegimeRunners& regimes) {
  write_help_text(io.console);
  write_list(io.console, {Item(" ")});
  AU(io.console);
  write_list(io.console, {Item("--------------------------------------------------------")});
  write_list(io.console, {Item("Press <Enter> to continue...")});
  read_pause(io.answers);

  std::optional<std::vector<float>> events = read_event_list(io);
  if (!events) return RunEnd::kErrorStop;
  const std::vector<float>& t = *events;

  RunParameters p;
  ask_period_questions(io, p);
  if (p.regime == Regime::kStatic) {
    regimes.run_static(io, t, p.Tmin, p.Tmax, p.NP);
  } else {
    p.D = static_cast<float>(static_cast<double>(t.back()) - static_cast<double>(t.front()));
    ask_window_questions(io, p);
    regimes.run_moving_window(io, t, p);
  }
  return RunEnd::kNormal;
}

}  // namespace periodscan
