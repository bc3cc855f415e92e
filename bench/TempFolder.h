#pragma once
// The bench's temporary folders are the tests' own.
#include "tools/TempDir.h"

using TTempFolder = TempDir;
