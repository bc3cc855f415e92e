#pragma once
// In which order to start decoding the files a paint will ask for. The paint
// takes them in its own order; a file that takes long to decode is started
// early enough that the paint does not wait for it at the end, while workers
// that would idle behind it decode the files asked for before it.
#include <cstddef>
#include <string>
#include <vector>

// A file's decoding time, in pixels of a sequential Huffman-coded picture;
// 0 when its header cannot be read (a file that fails fails fast).
double EstimateDecodeCost(const std::string& fileName);

// The indexes of the costs (given in the paint's order) in the order to start
// them on this many workers: by the latest moment each can start and still be
// done when the paint would reach it, were the files before it decoded side
// by side. Files of like cost keep the paint's order.
std::vector<std::size_t> DecodeStartOrder(const std::vector<double>& costs, int workers);
