#pragma once
#include <cstdint>

// How the C library's allocator serves the program, set once at start before
// any thread runs: idle memory that does not grow with the worker count.
void SetUpAllocator();

// The bytes a size setting asks for: the environment variable's whole number
// of mebibytes (at most 2^20), or defaultMiB when it is unset or not such a
// number; 0 turns the part it sizes off.
std::uint64_t MebibytesAsked(const char* variable, std::uint64_t defaultMiB);
