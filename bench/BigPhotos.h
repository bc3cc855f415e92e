#pragma once
// Large photographs for the memory measurement, made from smaller ones.
#include <string>
#include <vector>

constexpr int kBigPhotoWidth = 6000;
constexpr int kBigPhotoHeight = 4000;  // 24 megapixels

// Writes count JPEG files of kBigPhotoWidth x kBigPhotoHeight into folder,
// each an upscaled copy of one of the sources (taken in turn), and returns
// their paths. Throws std::runtime_error when a file cannot be made.
std::vector<std::string> MakeBigPhotos(const std::vector<std::string>& sources, const std::string& folder,
                                       int count);
