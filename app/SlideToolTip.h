#pragma once
// What hovering a slide tells: the file's name, its size in pixels from the
// JPEG frame header (nothing is decoded) and its size on disk; for a file
// that could not be shown, why.
#include <QLocale>
#include <cstdint>
#include <string>

// "N bytes" below a kibibyte, else the largest unit of 1024 it reaches with
// one decimal, in the locale's numbers: 1536 is "1.5 KiB".
std::string DiskSizeText(std::uint64_t bytes, const QLocale& locale = QLocale());

// The lines of a slide's tip; failure is the text its paint reported, if any.
std::string SlideToolTipText(const std::string& fileName, const std::string& failure);
