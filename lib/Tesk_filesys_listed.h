#pragma once
// Internal to the file scan: the record of which real directory stood
// behind each upper-cased directory string it produced.
#include <string>

// A number for one call of the scan; the records of a later scan replace
// those of earlier ones under the same upper-cased directory.
unsigned BeginListing();

// Remembers that upperDir (ending in '/') was produced by listing realDir in
// the scan numbered scan.
void RecordListedDir(const std::string& upperDir, const std::string& realDir, unsigned scan);
