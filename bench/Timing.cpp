#include "Timing.h"

#include <sys/resource.h>

#include <algorithm>
#include <ctime>

double Now(TClock clock) {
  timespec ts{};
  clock_gettime(clock == TClock::Cpu ? CLOCK_THREAD_CPUTIME_ID : CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double TimeOnce(TClock clock, const std::function<void()>& work) {
  const double start = Now(clock);
  work();
  return Now(clock) - start;
}

TMedians MeasureSideBySide(int reps, TClock clock, const std::function<void()>& subject,
                           const std::function<void()>& reference) {
  return MeasureSideBySide(reps, clock, TPrepared{subject, reference, nullptr, nullptr});
}

TMedians MeasureSideBySide(int reps, TClock clock, const TPrepared& work) {
  const auto prepare = [](const std::function<void()>& before) {
    if (before) before();
  };
  prepare(work.BeforeReference);
  work.Reference();
  prepare(work.BeforeSubject);
  work.Subject();
  constexpr double kMinSubjectSeconds = 1.5;
  constexpr int kMaxReps = 1000;
  std::vector<double> subjectTimes, referenceTimes;
  double subjectTotal = 0;
  for (int i = 0; i < kMaxReps && (i < reps || (work.Extend && subjectTotal < kMinSubjectSeconds)); ++i) {
    prepare(work.BeforeReference);
    referenceTimes.push_back(TimeOnce(clock, work.Reference));
    prepare(work.BeforeSubject);
    subjectTimes.push_back(TimeOnce(clock, work.Subject));
    subjectTotal += subjectTimes.back();
  }
  return {Median(subjectTimes), Median(referenceTimes)};
}
