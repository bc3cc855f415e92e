#pragma once
// The program's start-up, shared by the program, its snapshot tool, its
// benchmark and its tests, so that all of them run the window alike.
#include <QApplication>
#include <memory>

// Makes the Qt application and prepares what the window relies on: the
// picture formats, the screen's depth, the executable's path (links
// resolved, so a link on the PATH still finds the data folder), the path
// resolver of the file list and the error boxes. Qt is kept from writing
// where it can be: it makes a runtime folder in TMPDIR when XDG_RUNTIME_DIR
// is unset and no private folder of the user's can be lent to it.
std::unique_ptr<QApplication> StartApplication(int& argc, char** argv);
