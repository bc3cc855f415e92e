#include "app/DecodeOrder.h"

#include <algorithm>
#include <numeric>

#include "toolkit/JpegFrame.h"

double EstimateDecodeCost(const std::string& fileName) {
  const std::optional<TJpegFrame> frame = PeekJpegFrame(fileName);
  if (!frame) return 0;
  // Measured here with libjpeg: a progressive file takes about three times
  // as long as a sequential one of the same size (each scan passes over the
  // whole picture, and block smoothing works at output), an arithmetic-coded
  // one four to five times.
  const double factor = frame->Arithmetic ? 4.5 : frame->Progressive ? 3 : 1;
  return double(frame->Width) * double(frame->Height) * factor;
}

std::vector<std::size_t> DecodeStartOrder(const std::vector<double>& costs, int workers) {
  const double sharing = std::max(workers, 1);
  std::vector<double> latestStart(costs.size());
  double before = 0;  // the costs of the files asked for earlier
  for (std::size_t i = 0; i < costs.size(); ++i) {
    latestStart[i] = before / sharing - costs[i];
    before += costs[i];
  }
  std::vector<std::size_t> order(costs.size());
  std::iota(order.begin(), order.end(), std::size_t(0));
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return latestStart[a] < latestStart[b]; });
  return order;
}
