#pragma once

#include <QString>
#include <QTextStream>

// Builds the release of a project without a window, for release pipelines:
// loads the project as opening it in the window does, writes the manifest,
// raises the version and saves the project with its marks. Prints the
// manifest's path on `out`; on any failure prints why on `err` and changes
// nothing. Returns the process's exit code.
int run_headless_build(const QString &project_path, QTextStream &out, QTextStream &err);
