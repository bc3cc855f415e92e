#pragma once
// A watchdog for what another thread should bring about: the run ends at
// once, naming what never happened, rather than by the suite's time limit.
#include <chrono>
#include <cstdlib>
#include <future>
#include <iostream>
#include <utility>

template <class F>
void WithinSeconds(const char* what, F&& f, int seconds = 20) {
  auto done = std::async(std::launch::async, std::forward<F>(f));
  if (done.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
    std::cerr << what << " never happened\n";
    std::_Exit(1);
  }
  done.get();
}
