#include "interactive/main_routine.h"

#include "interactive/dialogue.h"
#include "interactive/event_list_reader.h"
#include "interactive/help_text.h"
#include "results/moving_window_regime.h"
#include "results/static_regime.h"
#include "textio/free_reader.h"
#include "textio/list_record.h"

namespace periodscan {

std::optional<RunRequest> hold_dialogue(Channels& io) {
  write_help_text(io.console);
  write_list(io.console, {Item(" ")});
  AU(io.console);
  write_list(io.console, {Item("--------------------------------------------------------")});
  write_list(io.console, {Item("Press <Enter> to continue...")});
  read_pause(io.answers);

  std::optional<std::vector<float>> events = read_event_list(io);
  if (!events) return std::nullopt;
  RunRequest request{std::move(*events), {}};
  const std::vector<float>& t = request.t;
  RunParameters& p = request.p;

  ask_period_questions(io, p);
  if (p.regime == Regime::kMovingWindow) {
    p.D = static_cast<float>(static_cast<double>(t.back()) - static_cast<double>(t.front()));
    ask_window_questions(io, p);
  }
  return request;
}

RunEnd MAIN__(Channels& io) {
  std::optional<RunRequest> request = hold_dialogue(io);
  if (!request) return RunEnd::kErrorStop;
  const RunParameters& p = request->p;
  if (p.regime == Regime::kStatic) {
    run_static_regime(io, request->t, p.Tmin, p.Tmax, p.NP);
  } else {
    run_moving_window_regime(io, request->t, p.window_scan(), p.M);
  }
  return RunEnd::kNormal;
}

}  // namespace periodscan
