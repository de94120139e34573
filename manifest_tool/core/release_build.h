#pragma once

#include "digest_job.h"
#include "file_node.h"
#include "project_file.h"

#include <functional>

class QThreadPool;

enum class release_result {
    built,                  // manifest in place, version raised, project saved
    archive_fields_unpaired, // only one of the archive's size and MD5 is filled in
    manifest_unwritable,
    project_unwritable,
    cancelled,
};

// One build of a release: hashes the listed files of the tree, writes the
// manifest, raises the version and saves the project with it. The window and
// the headless build both run it; they differ only in how they wait for the
// hashing. Whatever fails, nothing is changed: no manifest is replaced, the
// version stays and the project file is left as it was.
class release_build {
public:
    // Waits for the hashing; returns the digests, or nothing when cancelled.
    using hash_waiter = std::function<std::optional<QList<file_digest>>(digest_job &)>;

    release_build(const QString &project_path, const project_fields &fields, const file_node &root);

    release_result run(QThreadPool *pool, const hash_waiter &wait_for_hashes);

    // The project's settings; after a successful build with the raised version.
    const project_fields &fields() const { return fields_; }
    // Where the manifest goes.
    QString manifest_path() const;

private:
    QString project_path_;
    project_fields fields_;
    const file_node &root_;
};
