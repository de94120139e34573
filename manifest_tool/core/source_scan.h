#pragma once

#include "file_node.h"
#include "mark_paths.h"

#include <QStringList>
#include <atomic>

// The root path a source path text names: absolute and cleaned, the current
// directory for an empty text.
QString source_root_path(const QString &source_text);

// Shared between a scan and the thread that waits for it.
struct scan_progress {
    std::atomic<bool> stop{false};  // set by the waiter: the walk ends soon, its tree is of no use
    std::atomic<int> files{0};      // files looked at so far, accepted or not
};

struct scan_result {
    file_node root;
    // Directories that could not be listed (no permission, a path too long
    // for the system), in walk order. Each is in the tree without children.
    QStringList unreadable;
};

// The root node of a source directory with its marks, before any walk: what
// a scan starts from, and what is shown of a tree whose scan was cancelled.
file_node unscanned_root(const QString &source_text, const mark_paths &marks = {});

// Builds the node tree of a source directory: every subdirectory and every
// file whose suffix the list accepts, files before subdirectories, each group
// in case-insensitive name order. Nodes whose path is in `marks` carry that
// mark. A directory link that leads back to one of its own ancestors is left
// out, so the walk ends. A missing source gives the root alone. Runs on any
// thread; `progress`, when given, is updated and polled as the walk goes.
scan_result scan_tree(const QString &source_text, const QString &patterns, const mark_paths &marks = {},
                      scan_progress *progress = nullptr);

// The marked paths that name no node of the tree, sorted.
QStringList unmatched_marks(const file_node &root, const mark_paths &marks);
