#pragma once
// File scan of the component library: the full path names of the files that
// match a mask, optionally through every sub-directory.
#include <string>

#include "toolkit/Classes.h"

// Called for every directory before it is listed, with that directory (upper
// case, ending in '/', or empty) and the number of files appended so far.
using TScanProgressProc = void (*)(const std::string& Dir, int Count);

// Mask is a directory part and a name pattern ('*' and '?', matched without
// regard to case; "*.*" matches every name), split at the last '/'. Appends
// to List the upper-cased (ASCII) directory part followed by each matching
// file's name as listed, in listing order. Names beginning with a dot are
// hidden: listed as files, never entered as sub-directories. Links are
// followed, but no directory is entered twice. Reports no error; a missing
// List makes the call do nothing.
void ScanFilesIntoList(const std::string& Mask, bool IncludeSubdirs, TStringList* List, TScanProgressProc Progress);

// Whether a file name matches a pattern by the scan's rules ('*', '?', ASCII
// letters in either case).
bool MatchesScanPattern(const std::string& Pattern, const std::string& Name);

// The results name their directory in upper case, which on a file system
// that tells case apart is not the directory that was listed. This turns a
// result string back into the real path: through the directories this
// process listed (most recent first), or, for a directory never listed, by a
// walk that matches each component without regard to case. A path it cannot
// place is returned unchanged. Open every scanned file through it.
std::string ResolveListedPath(const std::string& path);

// Whether the folder (ending in '/' or not) holds a sub-folder not hidden
// (its name does not begin with a dot); reads its entries until the first.
bool HasShownSubfolder(std::string Dir);
