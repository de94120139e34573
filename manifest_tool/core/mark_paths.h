#pragma once

#include <QString>
#include <set>

// Marked node paths as a project file stores them; a scan hands them on to
// the nodes it builds.
struct mark_paths {
    std::set<QString> ignores;
    std::set<QString> zips;

    bool empty() const { return ignores.empty() && zips.empty(); }
};
