#pragma once

#include "file_digest.h"
#include "file_node.h"

#include <QByteArray>
#include <QDate>
#include <QList>

// What a manifest says beyond the tree.
struct manifest_header {
    QString version;
    QString zipfile;  // empty: no archive element, and "zip" attributes stay empty
    QString zipsize;
    QString zipsign;
    QDate date;
};

// The manifest ("version_config.xml") of a scanned tree, as UTF-8 XML with
// four blanks of indentation. `digests` holds one entry per file of
// listed_files(root), in that order. Attributes are written in a fixed order
// so that the same tree gives the same bytes on every run.
QByteArray manifest_xml(const file_node &root, const manifest_header &header,
                        const QList<file_digest> &digests);
