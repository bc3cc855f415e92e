#pragma once
// What hovering a slide tells: the file's name, its size in pixels from the
// JPEG frame header (nothing is decoded) and its size on disk; for a file
// that could not be shown, why.
#include <cstdint>
#include <string>

// "N bytes" below a kilobyte, else kilobytes, megabytes or gigabytes of
// 1024 with one decimal, rounded half up: 1536 is "1.5 KB".
std::string DiskSizeText(std::uint64_t bytes);

// The lines of a slide's tip; failure is the text its paint reported, if any.
std::string SlideToolTipText(const std::string& fileName, const std::string& failure);
