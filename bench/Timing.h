#pragma once
// Timing for side-by-side measurements: two workloads run in turns, so that
// whatever else the machine does falls on both alike, and medians of the
// repetitions are compared.
#include <functional>
#include <vector>

enum class TClock {
  Cpu,  // CPU time of this thread, kernel time on its behalf included
  Wall  // elapsed time
};

// Seconds on the given clock, from an arbitrary origin.
double Now(TClock clock);

double Median(std::vector<double> values);

// Seconds of processor time the whole process has used, all its threads,
// kernel time on their behalf included.
double ProcessCpuSeconds();

// Seconds one call of work takes on the clock.
double TimeOnce(TClock clock, const std::function<void()>& work);

struct TMedians {
  double Subject = 0;    // median seconds of the measured workload
  double Reference = 0;  // median seconds of the reference workload
  double Ratio() const { return Reference > 0 ? Subject / Reference : 0; }
};

// Runs reference and subject alternately, after one untimed warm-up of both:
// reps times each, and more while the subject has had less than a second and
// a half in all, so that short workloads get many repetitions.
TMedians MeasureSideBySide(int reps, TClock clock, const std::function<void()>& subject,
                           const std::function<void()>& reference);

// The same, each run of a workload preceded by its untimed preparation
// (either may be empty): the state the workload is measured from. Where the
// preparation is long and the subject short, Extend false holds the run to
// reps repetitions.
struct TPrepared {
  std::function<void()> Subject;
  std::function<void()> Reference;
  std::function<void()> BeforeSubject;
  std::function<void()> BeforeReference;
  bool Extend = true;
};
TMedians MeasureSideBySide(int reps, TClock clock, const TPrepared& work);
