#pragma once
// Coordinate sums held inside the int range: a frame or marker placed at the
// far end of the range stays there and the canvas clips it, where a wrapped
// sum would draw it at the other end (and is undefined behaviour).
#include <algorithm>
#include <climits>

inline int SatAdd(int a, int b) { return int(std::clamp<long long>((long long)a + b, INT_MIN, INT_MAX)); }
