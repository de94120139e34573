#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// One scanned file or directory. The tree is the tool's only model of the
// source tree: the window shows it, the project file and the manifest walk it.
// Children are held in a std::vector: once a tree is built its nodes never
// move, so the window can point at them while it shows the tree.
struct file_node {
    QString path;     // absolute, forward slashes
    int ignored = 0;  // ignore mark: the node (and a directory's subtree) leaves the manifest
    int zipped = 0;   // in-archive mark: files at or below it name the update archive
    int is_dir = 1;
    std::vector<file_node> children;  // accepted files in name order, then subdirectories

    // An empty directory node, as a scan starts from.
    void reset();
    // The last component of the path, as a row and the manifest name it.
    QString name() const;
};

// The files that a manifest lists, in the order it lists them: pre-order
// below `root`, skipping every ignored node with its subtree. The root's own
// ignore mark does not count, since the manifest starts with its children.
QStringList listed_files(const file_node &root);

// How many nodes the tree holds, the root included.
qsizetype node_count(const file_node &root);
