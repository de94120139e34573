#pragma once

#include "file_node.h"
#include "row_look.h"

#include <QAbstractItemModel>
#include <QFont>
#include <QIcon>
#include <cstdint>
#include <vector>

// The scanned tree as the rows of tv_dir: column 0 shows a node's name and
// icon, columns 1 and 2 its ignore and archive buttons (painted by
// row_button_delegate), column 3 is empty. A row is a number into a table
// built once per tree, so a tree of 100,000 nodes costs its nodes and little
// more; only the rows in view are asked for their looks.
// GUI thread only, like every model.
class node_tree_model : public QAbstractItemModel {
    Q_OBJECT

public:
    enum column { name_column = 0, ignore_column = 1, zip_column = 2, column_count = 4 };
    // A button cell's style sheet, as a button widget of that row would carry it.
    static constexpr int style_sheet_role = Qt::UserRole + 1;

    explicit node_tree_model(QObject *parent = nullptr);

    // Takes a new tree; every row is built afresh.
    void replace_tree(file_node root);
    const file_node &root() const { return root_; }

    // The node of a row (any column); null for an invalid index.
    file_node *node_at(const QModelIndex &index) const;
    // Column 0 of the row that shows `node`, or of the ignored directory that
    // hides it; invalid for a node that is not in the tree.
    QModelIndex row_of(const file_node *node) const;

    // Sets a mark on the node of `row`. A file row shows the change at once,
    // with the style a clicked button takes. A directory's rows change only
    // with the next rebuild().
    void set_mark(const QModelIndex &row, int file_node::*mark, int value);
    // Builds every row again from the nodes' marks: the rows below ignored
    // directories go, the others come back, clicked buttons look fresh.
    void rebuild();

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct row_entry {
        file_node *node;
        int parent;       // entry of the parent directory; -1 for the root
        int row;          // place among the parent's children
        int first_child;  // entry of the first child; the others follow it
    };

    int shown_children(int entry) const;
    row_look::button_look button_at(int entry, int column) const;

    file_node root_;
    // Breadth first, so that the children of a directory are contiguous.
    // Entries point into root_, whose nodes never move while it is held.
    std::vector<row_entry> entries_;
    // Per entry: which of the row's buttons were clicked since the last
    // rebuild (bit 0 ignore, bit 1 archive); they show the clicked style.
    std::vector<std::uint8_t> clicked_;
    QIcon ignored_icon_;
    QIcon shown_icon_;
    QFont button_font_;
};
