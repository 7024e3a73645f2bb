// toolframe: the shape of a helper's run, the same in both.  main hands the
// run to helper_main, which has the stop handlers in place before any of
// the program runs.  A run is a list of steps; each step either lets the
// run go on (kGoOn) or ends it with the exit status it returns.
#pragma once

#include <initializer_list>
#include <optional>

namespace toolframe {

// What a step gives back: kGoOn, or the run's exit status.
using Outcome = std::optional<int>;
inline constexpr Outcome kGoOn = std::nullopt;

// Runs the steps of run in order until one ends it.  Before each step,
// check (if given) may end the run instead: a stop that has come, say.
template <class Run>
Outcome run_steps(Run& run, std::initializer_list<Outcome (Run::*)()> steps, Outcome (Run::*check)() = nullptr) {
  for (auto step : steps) {
    if (check)
      if (Outcome end = (run.*check)()) return end;
    if (Outcome end = (run.*step)()) return end;
  }
  return kGoOn;
}

// The body of a helper's main(): unbuffered standard output, then the run.
int helper_main(int argc, char** argv, int (*run)(int, char**));

}  // namespace toolframe
