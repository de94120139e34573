#pragma once

#include "file_node.h"
#include "mark_paths.h"

#include <QString>
#include <optional>

// A project's settings, one per line edit of the window. The initial values
// are those of a new project that has not been saved.
struct project_fields {
    QString loadfrom;  // source directory that is scanned
    QString patterns;  // accepted suffixes, separated by blanks
    QString saveto;    // where the manifest is written
    QString version;   // decimal text, raised by every build
    QString zipfile;   // update archive's file name
    QString zipsize;   // its size in bytes
    QString zipsign;   // its MD5, lowercase hex

    static project_fields initial();
};

// A project file as read. An absent key is an empty optional; a key present
// with an empty value is an empty string.
struct project_contents {
    std::optional<QString> loadfrom, patterns, saveto, version, zipfile, zipsize, zipsign;
    mark_paths marks;
    bool readable = false;  // the file exists and parses as INI
};

// Reads a project file. A missing or unreadable file reads as one without keys.
project_contents read_project(const QString &path);

// Copies what the file holds into `fields`. Absent keys leave the source and
// save paths as they are and reset the others to a new project's values.
void apply_project(const project_contents &contents, project_fields &fields);

// Writes the settings and the marks of the tree. Each array holds the topmost
// nodes with its mark, in tree order: a marked directory's descendants are
// not written again. Returns false when the file could not be written.
bool write_project(const QString &path, const project_fields &fields, const file_node &root);
