#pragma once
// The orientation a photo's Exif block gives: how the stored pixels must be
// turned to stand upright. Read with every offset checked against the
// segment, from the first directory only, so damaged or hostile blocks cost
// nothing and give no orientation.
#include <cstddef>
#include <cstdint>

// Whether an APP1 segment's payload (size bytes) is an Exif block; of
// several APP1 segments the first such one counts.
bool IsExifPayload(const std::uint8_t* payload, std::size_t size);

// The orientation of an APP1 segment's payload, from "Exif\0\0" on: 1 to 8;
// 1 when it holds no Exif block, no orientation or a damaged one.
int ExifOrientation(const std::uint8_t* payload, std::size_t size);
