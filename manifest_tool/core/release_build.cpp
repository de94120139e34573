#include "release_build.h"

#include "manifest_output.h"
#include "manifest_xml.h"
#include "version_number.h"

release_build::release_build(const QString &project_path, const project_fields &fields, const file_node &root)
    : project_path_(project_path), fields_(fields), root_(root)
{
}

QString release_build::manifest_path() const
{
    return manifest_output(fields_.saveto).path();
}

release_result release_build::run(QThreadPool *pool, const hash_waiter &wait_for_hashes)
{
    // An archive measured by half cannot be checked by the clients.
    if (fields_.zipsize.isEmpty() != fields_.zipsign.isEmpty())
        return release_result::archive_fields_unpaired;

    // Opened before hashing, so that a wrong save path fails at once.
    manifest_output output(fields_.saveto);
    if (!output.open())
        return release_result::manifest_unwritable;

    digest_job job(listed_files(root_), pool);
    const std::optional<QList<file_digest>> digests = wait_for_hashes(job);
    if (!digests) {
        output.discard();
        return release_result::cancelled;
    }

    const manifest_header header{fields_.version, fields_.zipfile, fields_.zipsize, fields_.zipsign,
                                 QDate::currentDate()};
    if (!output.write(manifest_xml(root_, header, *digests))) {
        output.discard();
        return release_result::manifest_unwritable;
    }

    // The project is saved before the manifest is put in place, so that a
    // project that cannot be written leaves the old manifest standing.
    const QString built_version = fields_.version;
    fields_.version = raised_version(built_version);
    if (!write_project(project_path_, fields_, root_)) {
        output.discard();
        fields_.version = built_version;
        return release_result::project_unwritable;
    }
    if (!output.commit()) {
        fields_.version = built_version;
        write_project(project_path_, fields_, root_);
        return release_result::manifest_unwritable;
    }
    return release_result::built;
}
