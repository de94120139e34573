#pragma once

#include "file_node.h"
#include "mark_paths.h"

#include <QStringList>

// The root path a source path text names: absolute and cleaned, the current
// directory for an empty text.
QString source_root_path(const QString &source_text);

// Builds the node tree of a source directory: every subdirectory and every
// file whose suffix the list accepts, files before subdirectories, each group
// in case-insensitive name order. Nodes whose path is in `marks` carry that
// mark. A directory that cannot be listed has no children; a directory link
// that leads back to one of its own ancestors is left out, so the walk ends.
file_node scan_source(const QString &source_text, const QString &patterns,
                      const mark_paths &marks = {});

// The marked paths that name no node of the tree, sorted.
QStringList unmatched_marks(const file_node &root, const mark_paths &marks);
