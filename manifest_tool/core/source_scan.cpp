#include "source_scan.h"

#include "suffix_rule.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

file_node marked_node(const QString &path, int is_dir, const mark_paths &marks)
{
    file_node node;
    node.path = path;
    node.is_dir = is_dir;
    node.ignored = marks.ignores.count(path) ? 1 : 0;
    node.zipped = marks.zips.count(path) ? 1 : 0;
    return node;
}

class tree_walk {
public:
    tree_walk(const QString &patterns, const mark_paths &marks) : patterns_(patterns), marks_(marks) {}

    void fill(const QDir &dir, file_node &parent)
    {
        // Canonical paths of the directories being walked: a link into one of
        // them would repeat the walk without end.
        const QString canonical = QFileInfo(dir.absolutePath()).canonicalFilePath();
        walk_path_.insert(canonical);

        // One listing for both passes: in name order, ignoring case, hidden
        // and system entries left out.
        const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        const QString base = dir.absolutePath() + QLatin1Char('/');
        for (const QFileInfo &entry : entries) {
            if (!entry.isDir() && suffix_accepted(patterns_, entry.fileName()))
                parent.children.append(marked_node(base + entry.fileName(), 0, marks_));
        }
        for (const QFileInfo &entry : entries) {
            if (!entry.isDir() || walk_path_.contains(entry.canonicalFilePath()))
                continue;
            const QString path = base + entry.fileName();
            file_node child = marked_node(path, 1, marks_);
            fill(QDir(path), child);
            parent.children.append(std::move(child));
        }

        walk_path_.remove(canonical);
    }

private:
    const QString &patterns_;
    const mark_paths &marks_;
    QSet<QString> walk_path_;
};

void collect_paths(const file_node &node, QSet<QString> &out)
{
    out.insert(node.path);
    for (const file_node &child : node.children)
        collect_paths(child, out);
}

} // namespace

QString source_root_path(const QString &source_text)
{
    if (source_text.isEmpty())
        return QDir::currentPath();
    return QDir::cleanPath(QFileInfo(source_text).absoluteFilePath());
}

file_node scan_source(const QString &source_text, const QString &patterns, const mark_paths &marks)
{
    const QString root_path = source_root_path(source_text);
    file_node root = marked_node(root_path, 1, marks);
    const QDir dir(root_path);
    if (dir.exists())
        tree_walk(patterns, marks).fill(dir, root);
    return root;
}

QStringList unmatched_marks(const file_node &root, const mark_paths &marks)
{
    QSet<QString> present;
    collect_paths(root, present);
    QStringList missing;
    for (const auto *set : {&marks.ignores, &marks.zips}) {
        for (const QString &path : *set) {
            if (!present.contains(path) && !missing.contains(path))
                missing.append(path);
        }
    }
    missing.sort();
    return missing;
}
