#pragma once

#include <QString>
#include <atomic>

// What a manifest says of one file: its MD5 text and its size.
struct file_digest {
    QString text;    // lowercase hex; "open fail!" when the file cannot be opened;
                     // empty when it could not be read to the end
    qint64 size = 0; // as the file system reports it, 0 for a file that is gone
    bool hashed = false; // the text is the digest of the whole content

    friend bool operator==(const file_digest &, const file_digest &) = default;
};

// Hashes one file. Reading stops early once `stop` is set; the result is then
// of no use and is thrown away by the caller.
file_digest digest_file(const QString &path, const std::atomic<bool> &stop);
