#include "node_tree_model.h"

#include <QBrush>
#include <QCoreApplication>
#include <QGuiApplication>

namespace {

// The bit of node_tree_model::clicked_ for a button column.
std::uint8_t clicked_bit(int column)
{
    return column == node_tree_model::ignore_column ? 1 : 2;
}

} // namespace

node_tree_model::node_tree_model(QObject *parent)
    : QAbstractItemModel(parent), ignored_icon_(row_look::row_icon(true)), shown_icon_(row_look::row_icon(false)),
      button_font_(row_look::button_font(QGuiApplication::font()))
{
}

void node_tree_model::replace_tree(file_node root)
{
    beginResetModel();
    root_ = std::move(root);
    entries_.clear();
    entries_.reserve(node_count(root_));
    entries_.push_back({&root_, -1, 0, 0});
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        file_node *node = entries_[i].node;
        entries_[i].first_child = int(entries_.size());
        for (std::size_t row = 0; row < node->children.size(); ++row)
            entries_.push_back({&node->children[row], int(i), int(row), 0});
    }
    clicked_.assign(entries_.size(), 0);
    endResetModel();
}

file_node *node_tree_model::node_at(const QModelIndex &index) const
{
    return index.isValid() ? entries_[index.internalId()].node : nullptr;
}

QModelIndex node_tree_model::row_of(const file_node *node) const
{
    int found = -1;
    for (std::size_t i = 0; i < entries_.size() && found < 0; ++i) {
        if (entries_[i].node == node)
            found = int(i);
    }
    if (found < 0)
        return {};
    // The topmost ignored directory above the node is the row that shows it.
    int shown = found;
    for (int above = entries_[found].parent; above >= 0; above = entries_[above].parent) {
        if (entries_[above].node->ignored)
            shown = above;
    }
    return createIndex(entries_[shown].row, name_column, quintptr(shown));
}

void node_tree_model::set_mark(const QModelIndex &row, int file_node::*mark, int value)
{
    file_node *node = node_at(row);
    if (!node)
        return;
    node->*mark = value;
    if (node->is_dir)
        return;
    clicked_[row.internalId()] |= clicked_bit(mark == &file_node::ignored ? ignore_column : zip_column);
    emit dataChanged(row.siblingAtColumn(name_column), row.siblingAtColumn(zip_column));
}

void node_tree_model::rebuild()
{
    beginResetModel();
    std::fill(clicked_.begin(), clicked_.end(), 0);
    endResetModel();
}

int node_tree_model::shown_children(int entry) const
{
    const file_node &node = *entries_[entry].node;
    return node.is_dir && !node.ignored ? int(node.children.size()) : 0;
}

QModelIndex node_tree_model::index(int row, int column, const QModelIndex &parent) const
{
    if (column < 0 || column >= column_count || row < 0)
        return {};
    if (!parent.isValid())
        return row == 0 && !entries_.empty() ? createIndex(0, column, quintptr(0)) : QModelIndex();
    const int entry = int(parent.internalId());
    if (parent.column() != name_column || row >= shown_children(entry))
        return {};
    return createIndex(row, column, quintptr(entries_[entry].first_child + row));
}

QModelIndex node_tree_model::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return {};
    const int above = entries_[child.internalId()].parent;
    return above < 0 ? QModelIndex() : createIndex(entries_[above].row, name_column, quintptr(above));
}

int node_tree_model::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return entries_.empty() ? 0 : 1;
    return parent.column() == name_column ? shown_children(int(parent.internalId())) : 0;
}

int node_tree_model::columnCount(const QModelIndex &) const
{
    return column_count;
}

bool node_tree_model::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

row_look::button_look node_tree_model::button_at(int entry, int column) const
{
    const file_node &node = *entries_[entry].node;
    const bool clicked = clicked_[entry] & clicked_bit(column);
    if (column == ignore_column)
        return clicked ? row_look::toggled_ignore_button(node.ignored) : row_look::ignore_button(node);
    return clicked ? row_look::toggled_zip_button(node.zipped) : row_look::zip_button(node);
}

QVariant node_tree_model::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int entry = int(index.internalId());
    const file_node &node = *entries_[entry].node;
    if (index.column() == name_column) {
        if (role == Qt::DisplayRole)
            return node.name();
        if (role == Qt::DecorationRole)
            return node.ignored ? ignored_icon_ : shown_icon_;
        return {};
    }
    if (index.column() != ignore_column && index.column() != zip_column)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return button_at(entry, index.column()).text;
    case style_sheet_role:
        return button_at(entry, index.column()).style_sheet;
    case Qt::ForegroundRole: {
        const QColor colour = button_at(entry, index.column()).colour;
        return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
    }
    case Qt::FontRole:
        return button_font_;
    default:
        return {};
    }
}

QVariant node_tree_model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case name_column:
        return QCoreApplication::translate("relmint", "目录/文件");
    case ignore_column:
        return QCoreApplication::translate("relmint", "设置标记");
    case zip_column:
        return QCoreApplication::translate("relmint", "压缩包文件");
    default:
        return QString();
    }
}
