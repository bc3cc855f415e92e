#pragma once
// Paths the person names, on the command line or by a drop: made absolute
// and checked before the window changes anything.
#include <string>

class QMimeData;

// The path against the current directory, without "." parts and repeated or
// closing separators; links are kept as named. Where a ".." part follows a
// name, the folder is resolved by the system instead, as the kernel walks
// ".." through a link.
std::string AbsolutePath(const std::string& path);

// The folder that holds an absolute path ("/" for "/" itself).
std::string ParentFolder(const std::string& path);

enum class TOpenKind { Folder, Picture };

// Whether the path is a folder whose entries can be read or a file that can
// be read; otherwise raises EFOpenError ("Cannot open file" with the
// system's reason).
TOpenKind CheckOpenable(const std::string& path);

// Whether a drop of the path is taken: a folder, or a file the scan would
// list (its name matches "*.jpg"). Anything else would change nothing.
bool AcceptableDrop(const std::string& path);

// The first local file of a drop that is taken, as the bytes of its name
// (names that are no UTF-8 keep their bytes); empty when the drop holds none.
std::string DroppedPath(const QMimeData* data);
