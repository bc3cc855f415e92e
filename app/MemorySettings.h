#pragma once
// How the C library's allocator serves the program, set once at start before
// any thread runs: idle memory that does not grow with the worker count.
void SetUpAllocator();
