#pragma once

#include <QSaveFile>
#include <QString>

// The manifest file being written. It replaces the old file whole or not at
// all: the bytes go to a temporary file beside it that takes its place only
// on commit.
class manifest_output {
public:
    // A save path that names a directory (as the folder choice leaves it)
    // means "version_config.xml" inside that directory.
    explicit manifest_output(const QString &save_path);

    const QString &path() const { return path_; }

    bool open();
    // Writes the bytes without putting them in place yet.
    bool write(const QByteArray &bytes);
    // Puts the written file in place; false (and nothing replaced) when any
    // write, the flush or the rename failed, for instance on a full disk.
    bool commit();
    void discard();

private:
    QString path_;
    QSaveFile file_;
};
