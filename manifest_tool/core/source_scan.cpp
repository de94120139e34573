#include "source_scan.h"

#include "suffix_rule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <unistd.h>

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

// Whether the entries of a directory can be listed and reached. QDir gives an
// empty list for a directory it cannot read, the same as for an empty one.
bool listable(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), R_OK | X_OK) == 0;
}

class tree_walk {
public:
    tree_walk(const QString &patterns, const mark_paths &marks, scan_progress *progress, QStringList &unreadable)
        : patterns_(patterns), marks_(marks), progress_(progress), unreadable_(unreadable)
    {
    }

    // `canonical` is the directory's path with every link resolved.
    void fill(const QDir &dir, const QString &canonical, file_node &parent)
    {
        if (stopped())
            return;
        if (!listable(dir.absolutePath())) {
            unreadable_.append(dir.absolutePath());
            return;
        }
        // The directories being walked: a link into one of them would repeat
        // the walk without end.
        walk_path_.insert(canonical);

        // One listing for both passes: in name order, ignoring case, hidden
        // and system entries (broken links among them) left out.
        const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        const QString base = dir.absolutePath() + QLatin1Char('/');
        parent.children.reserve(entries.size());
        int files = 0;
        for (const QFileInfo &entry : entries) {
            if (entry.isDir())
                continue;
            ++files;
            if (suffix_accepted(patterns_, entry.fileName()))
                parent.children.push_back(marked_node(base + entry.fileName(), 0, marks_));
        }
        if (progress_)
            progress_->files.fetch_add(files, std::memory_order_relaxed);

        for (const QFileInfo &entry : entries) {
            if (!entry.isDir() || stopped())
                continue;
            // Only a link can lead back up; a plain subdirectory is new.
            const QString child_canonical = entry.isSymLink() ? entry.canonicalFilePath()
                                                              : canonical + QLatin1Char('/') + entry.fileName();
            if (walk_path_.contains(child_canonical))
                continue;
            const QString path = base + entry.fileName();
            file_node child = marked_node(path, 1, marks_);
            fill(QDir(path), child_canonical, child);
            parent.children.push_back(std::move(child));
        }
        parent.children.shrink_to_fit();

        walk_path_.remove(canonical);
    }

private:
    bool stopped() const { return progress_ && progress_->stop.load(std::memory_order_relaxed); }

    const QString &patterns_;
    const mark_paths &marks_;
    scan_progress *progress_;
    QStringList &unreadable_;
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

file_node unscanned_root(const QString &source_text, const mark_paths &marks)
{
    return marked_node(source_root_path(source_text), 1, marks);
}

scan_result scan_tree(const QString &source_text, const QString &patterns, const mark_paths &marks,
                      scan_progress *progress)
{
    scan_result result;
    result.root = unscanned_root(source_text, marks);
    const QFileInfo root_info(result.root.path);
    if (root_info.isDir()) {
        tree_walk(patterns, marks, progress, result.unreadable)
            .fill(QDir(result.root.path), root_info.canonicalFilePath(), result.root);
    }
    return result;
}

QStringList unmatched_marks(const file_node &root, const mark_paths &marks)
{
    QSet<QString> present;
    collect_paths(root, present);
    std::set<QString> missing;
    for (const auto *set : {&marks.ignores, &marks.zips}) {
        for (const QString &path : *set) {
            if (!present.contains(path))
                missing.insert(path);
        }
    }
    return QStringList(missing.begin(), missing.end());
}
