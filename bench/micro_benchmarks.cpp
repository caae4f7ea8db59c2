// Microbenchmarks of the per-day work, each beside the straightforward way of
// doing the same job, measured in the same run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/straightforward.h"
#include "datafiles/element_file.h"
#include "datafiles/list_output.h"
#include "orbit/kepler.h"
#include "orbit/orbit.h"

namespace {

const orbit::frame_constants& constants() {
  static const orbit::frame_constants frame = orbit::make_frame_constants();
  return frame;
}

// Mean anomalies spread over [0, 2*pi].
std::vector<double> mean_anomalies() {
  std::vector<double> m(1024);
  for (std::size_t j = 0; j < m.size(); ++j) {
    m[j] = constants().two_pi * (static_cast<double>(j) + 0.5) / static_cast<double>(m.size());
  }
  return m;
}

template <double (*Solver)(double, double)>
void BM_kepler(benchmark::State& state) {
  const double e = static_cast<double>(state.range(0)) / 10000;
  const std::vector<double> m = mean_anomalies();
  std::size_t j = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Solver(e, m[j]));
    j = (j + 1) % m.size();
  }
  state.SetLabel("e=" + std::to_string(e));
}

void kepler_eccentricities(benchmark::internal::Benchmark* b) {
  for (int e : {167, 934, 2500, 6000, 9000, 9900}) b->Arg(e);
}
BENCHMARK(BM_kepler<orbit::kepler>)->Name("kepler")->Apply(kepler_eccentricities);
BENCHMARK(BM_kepler<straightforward::kepler>)
    ->Name("kepler_plain_100_steps")
    ->Apply(kepler_eccentricities);

orbit::orbital_elements in_radians(orbit::orbital_elements el) {
  orbit::angles_to_radians(el, constants().pi);
  return el;
}

const orbit::orbital_elements mars{1.52371034,  0.09339410,  1.84969142, 286.50316850,
                                   49.55953891, 19.39019754, 2451545.0,  3.2271E-7};
const orbit::orbital_elements earth{1.00000261, 0.01671123,   -0.00001531, 102.93768193,
                                    0.0,        357.52688973, 2451545.0,   3.04043E-6};

// Dates of a million-day run from 2026 on, cycled.
constexpr double FIRST_DATE = 2461041.5;
constexpr int RUN_DAYS = 1000000;

// The reduced mean anomalies of `days` consecutive days of a body's orbit
// from FIRST_DATE, or for e = 0.5 and 0.9 (range 5000, 9000) the spread of
// mean_anomalies().
struct kepler_sequence {
  double e;
  std::vector<double> m;
  std::string name;
};
kepler_sequence sequence(std::int64_t which) {
  if (which == 5000 || which == 9000) {
    return {static_cast<double>(which) / 10000, mean_anomalies(),
            "e=0." + std::to_string(which / 1000)};
  }
  const bool is_mars = which == 0;
  const orbit::body_state body = orbit::make_body_state(in_radians(is_mars ? mars : earth));
  kepler_sequence s{body.e, {}, is_mars ? "Mars days" : "Earth days"};
  for (int day = 0; day < 4096; ++day) {
    s.m.push_back(
        orbit::reduce_mean_anomaly(orbit::mean_anomaly_at(body, FIRST_DATE + day), constants()));
  }
  return s;
}

// The traced twins of the solvers, in one shape: each takes the track of
// the day before, which only the tracked solver uses.
using traced_solver = double (*)(double, double, orbit::kepler_detail::kepler_trace&,
                                 orbit::kepler_track&);
double traced_tracked(double e, double m, orbit::kepler_detail::kepler_trace& trace,
                      orbit::kepler_track& track) {
  return orbit::kepler_detail::kepler_traced(e, m, trace, &track);
}
double traced_cold(double e, double m, orbit::kepler_detail::kepler_trace& trace,
                   orbit::kepler_track& /*track*/) {
  return orbit::kepler_detail::kepler_traced(e, m, trace);
}
double traced_iteration(double e, double m, orbit::kepler_detail::kepler_trace& trace,
                        orbit::kepler_track& /*track*/) {
  return orbit::kepler_detail::kepler_iteration_traced(e, m, trace);
}
double kepler_tracked(double e, double m, orbit::kepler_track& track) {
  return orbit::kepler(e, m, track);
}
double kepler_cold(double e, double m, orbit::kepler_track& /*track*/) {
  return orbit::kepler(e, m);
}
double kepler_iteration(double e, double m, orbit::kepler_track& /*track*/) {
  return orbit::kepler_detail::kepler_iteration(e, m);
}

// ns a solve, and as counters the library sines a solve, the share of solves
// the shortcut answers with one fixed point and with the attractor rule, and
// the sines a solve on that rule's path, from the solver's traced twin. The
// days are solved in their order, as a run does, so a tracked solver starts
// each from the day before.
template <double (*Solver)(double, double, orbit::kepler_track&), traced_solver Traced>
void BM_kepler_sequence(benchmark::State& state) {
  const kepler_sequence s = sequence(state.range(0));
  std::size_t j = 0;
  orbit::kepler_track track;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Solver(s.e, s.m[j], track));
    j = (j + 1) % s.m.size();
  }
  using orbit::kepler_detail::kepler_path;
  double sines = 0;
  double shortcuts = 0;
  double attractors = 0;
  double attractor_sines = 0;
  orbit::kepler_track traced_track;
  for (const double m : s.m) {
    orbit::kepler_detail::kepler_trace trace{};
    Traced(s.e, m, trace, traced_track);
    sines += trace.sines;
    shortcuts += trace.path == kepler_path::shortcut;
    if (trace.path == kepler_path::two_attractors) {
      ++attractors;
      attractor_sines += trace.sines;
    }
  }
  const auto solves = static_cast<double>(s.m.size());
  state.counters["sines"] = sines / solves;
  state.counters["shortcut"] = shortcuts / solves;
  state.counters["attractors"] = attractors / solves;
  state.counters["attr_sines"] = attractors > 0 ? attractor_sines / attractors : 0;
  state.SetLabel(s.name);
}
void kepler_sequences(benchmark::internal::Benchmark* b) {
  for (int which : {0, 1, 5000, 9000}) b->Arg(which);
}
BENCHMARK(BM_kepler_sequence<kepler_tracked, traced_tracked>)
    ->Name("kepler_days")
    ->Apply(kepler_sequences);
BENCHMARK(BM_kepler_sequence<kepler_cold, traced_cold>)
    ->Name("kepler_days_untracked")
    ->Apply(kepler_sequences);
BENCHMARK(BM_kepler_sequence<kepler_iteration, traced_iteration>)
    ->Name("kepler_iteration_days")
    ->Apply(kepler_sequences);

void BM_helio_position(benchmark::State& state) {
  const orbit::body_state body = orbit::make_body_state(in_radians(mars));
  int day = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(orbit::helio_position(body, FIRST_DATE + day, constants()));
    day = (day + 1) % RUN_DAYS;
  }
}
BENCHMARK(BM_helio_position);

double reduce_plain(double m, const orbit::frame_constants& frame) {
  return straightforward::reduce_mean_anomaly(m, frame.two_pi);
}

// The unreduced mean anomaly of Mars (range 0) or the Earth (1) on the days of
// a run of 10^6 or 10^7 days (range 6 or 7) from FIRST_DATE: runs of 1024
// consecutive days, each run starting at a day spread over the whole span, so
// that a slow reduction sees the late days too.
template <double (*Reduce)(double, const orbit::frame_constants&)>
void BM_reduce(benchmark::State& state) {
  const bool is_mars = state.range(0) == 0;
  const int days = state.range(1) == 6 ? 1000000 : 10000000;
  const orbit::body_state body = orbit::make_body_state(in_radians(is_mars ? mars : earth));
  constexpr int RUN = 1024;
  int first = 0;
  int day = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        Reduce(orbit::mean_anomaly_at(body, FIRST_DATE + first + day), constants()));
    if (++day == RUN) {
      day = 0;
      first = (first + 389 * RUN) % (days - RUN);
    }
  }
  state.SetLabel(std::string(is_mars ? "Mars" : "Earth") + " days, 10^" +
                 std::to_string(state.range(1)));
}
void reduce_sequences(benchmark::internal::Benchmark* b) {
  for (int exponent : {6, 7}) {
    for (int body : {0, 1}) b->Args({body, exponent});
  }
}
BENCHMARK(BM_reduce<orbit::reduce_mean_anomaly>)
    ->Name("reduce_mean_anomaly")
    ->Apply(reduce_sequences);
BENCHMARK(BM_reduce<reduce_plain>)
    ->Name("reduce_mean_anomaly_plain_loops")
    ->Apply(reduce_sequences);

void BM_apparent_place(benchmark::State& state) {
  const orbit::body_state target = orbit::make_body_state(in_radians(mars));
  const orbit::body_state observer = orbit::make_body_state(in_radians(earth));
  std::vector<orbit::helio_place> places;
  for (int day = 0; day < 1024; ++day) {
    places.push_back(orbit::helio_position(target, 2461041.5 + day, constants()));
    places.push_back(orbit::helio_position(observer, 2461041.5 + day, constants()));
  }
  std::size_t j = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(orbit::apparent_place(places[j], places[j + 1], 0, constants()));
    j = (j + 2) % places.size();
  }
}
BENCHMARK(BM_apparent_place);

// A year of Mars-from-Earth records.
std::vector<orbit::ephemeris_record> records() {
  const orbit::body_state target = orbit::make_body_state(in_radians(mars));
  const orbit::body_state observer = orbit::make_body_state(in_radians(earth));
  std::vector<orbit::ephemeris_record> out;
  for (int day = 0; day < 366; ++day) {
    const double date = 2461041.5 + day;
    out.push_back(orbit::apparent_place(orbit::helio_position(target, date, constants()),
                                        orbit::helio_position(observer, date, constants()), date,
                                        constants()));
  }
  return out;
}

void BM_format_record(benchmark::State& state) {
  const std::vector<orbit::ephemeris_record> recs = records();
  char buffer[datafiles::MAX_RECORD_SIZE];
  std::size_t j = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(datafiles::format_record(recs[j], buffer));
    benchmark::ClobberMemory();
    j = (j + 1) % recs.size();
  }
}
BENCHMARK(BM_format_record);

// The straightforward way: snprintf("%.9G") per value, the record then
// written through a stdio stream (to /dev/null).
void BM_format_record_snprintf(benchmark::State& state) {
  const std::vector<orbit::ephemeris_record> recs = records();
  std::FILE* sink = std::fopen("/dev/null", "w");
  char buffer[datafiles::MAX_RECORD_SIZE];
  std::size_t j = 0;
  for (auto _ : state) {
    std::fwrite(buffer, 1, straightforward::format_record(recs[j], buffer), sink);
    j = (j + 1) % recs.size();
  }
  std::fclose(sink);
}
BENCHMARK(BM_format_record_snprintf);

void BM_read_elements(benchmark::State& state) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("ephemeris-bench-" + std::to_string(::getpid()));
  {
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs(
        "1.52371034 0.09339410 1.84969142 286.50316850 49.55953891 19.39019754 2451545.0 "
        "3.2271E-7   Mars\n"
        "1.00000261 0.01671123 -0.00001531 102.93768193 0.0 357.52688973 2451545.0 "
        "3.04043E-6   Earth-Moon barycentre\n"
        "2461041.5\n365\n",
        f);
    std::fclose(f);
  }
  for (auto _ : state) {
    auto opened = datafiles::open_elements(path.c_str());
    auto& file = opened.value();
    benchmark::DoNotOptimize(datafiles::read_elements(file));
    datafiles::close_elements(file);
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_read_elements);

}  // namespace

BENCHMARK_MAIN();
