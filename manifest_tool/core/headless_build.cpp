#include "headless_build.h"

#include "project_file.h"
#include "release_build.h"
#include "source_scan.h"

#include <QFileInfo>
#include <QThreadPool>

namespace {

constexpr int exit_failure = 1;

int fail(QTextStream &err, const QString &message)
{
    err << "relmint: " << message << Qt::endl;
    return exit_failure;
}

} // namespace

int run_headless_build(const QString &project_path, QTextStream &out, QTextStream &err)
{
    const project_contents contents = read_project(project_path);
    if (!contents.readable)
        return fail(err, QStringLiteral("cannot read the project file %1").arg(project_path));

    project_fields fields = project_fields::initial();
    apply_project(contents, fields);

    const QString source = source_root_path(fields.loadfrom);
    if (!QFileInfo(source).isDir())
        return fail(err, QStringLiteral("the source directory %1 does not exist").arg(source));

    const scan_result scanned = scan_tree(fields.loadfrom, fields.patterns, contents.marks);
    const file_node &root = scanned.root;
    if (!scanned.unreadable.isEmpty()) {
        // Not a failure: the window shows such a tree too. A pipeline's log
        // must still say that the manifest lacks what those directories hold.
        err << "relmint: warning: " << scanned.unreadable.size()
            << " director" << (scanned.unreadable.size() == 1 ? "y" : "ies")
            << " could not be read; the manifest lists nothing inside:\n  "
            << scanned.unreadable.join(QStringLiteral("\n  ")) << Qt::endl;
    }

    // Saving would silently drop these marks: the project was made for a
    // source tree at another location, or the tree has changed.
    const QStringList unmatched = unmatched_marks(root, contents.marks);
    if (!unmatched.isEmpty()) {
        return fail(err, QStringLiteral("%1 marked path(s) of the project match nothing in %2:\n  %3")
                             .arg(unmatched.size())
                             .arg(source, unmatched.join(QStringLiteral("\n  "))));
    }

    release_build build(project_path, fields, root);
    const release_result result =
        build.run(QThreadPool::globalInstance(), [](digest_job &job) { return job.wait(); });
    switch (result) {
    case release_result::built:
        out << QFileInfo(build.manifest_path()).absoluteFilePath() << Qt::endl;
        return 0;
    case release_result::archive_fields_unpaired:
        return fail(err, QStringLiteral("the update archive's size and MD5 (zipsize, zipsign) must be "
                                        "both filled in or both empty"));
    case release_result::manifest_unwritable:
        return fail(err, QStringLiteral("cannot write the manifest %1").arg(build.manifest_path()));
    case release_result::project_unwritable:
        return fail(err, QStringLiteral("cannot save the project file %1").arg(project_path));
    case release_result::cancelled:
        break;
    }
    return fail(err, QStringLiteral("the build was cancelled"));
}
