#include "file_node.h"

void file_node::reset()
{
    path.clear();
    ignored = 0;
    zipped = 0;
    is_dir = 1;
    children.clear();
}

QString file_node::name() const
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

static void collect_listed(const file_node &node, QStringList &out)
{
    for (const file_node &child : node.children) {
        if (child.ignored)
            continue;
        if (child.is_dir)
            collect_listed(child, out);
        else
            out.append(child.path);
    }
}

QStringList listed_files(const file_node &root)
{
    QStringList out;
    collect_listed(root, out);
    return out;
}

qsizetype node_count(const file_node &root)
{
    qsizetype count = 1;
    for (const file_node &child : root.children)
        count += node_count(child);
    return count;
}
