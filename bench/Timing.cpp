#include "Timing.h"

#include <time.h>

#include <algorithm>

double Now(TClock clock) {
  timespec ts{};
  clock_gettime(clock == TClock::Cpu ? CLOCK_THREAD_CPUTIME_ID : CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
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
  reference();
  subject();
  constexpr double kMinSubjectSeconds = 1.5;
  constexpr int kMaxReps = 1000;
  std::vector<double> subjectTimes, referenceTimes;
  double subjectTotal = 0;
  for (int i = 0; i < kMaxReps && (i < reps || subjectTotal < kMinSubjectSeconds); ++i) {
    referenceTimes.push_back(TimeOnce(clock, reference));
    subjectTimes.push_back(TimeOnce(clock, subject));
    subjectTotal += subjectTimes.back();
  }
  return {Median(subjectTimes), Median(referenceTimes)};
}
