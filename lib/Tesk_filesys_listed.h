#pragma once
// Internal to the file scan: the record of which real directory stood
// behind each upper-cased directory string it produced.
#include <string>

// Remembers that upperDir (ending in '/') was produced by listing realDir.
void RecordListedDir(const std::string& upperDir, const std::string& realDir);
