#pragma once

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

class QAbstractItemView;

// Paints the cells of its columns as push buttons, with the text, text
// colour and font the model gives (Qt::DisplayRole, Qt::ForegroundRole,
// Qt::FontRole), and clicks them like buttons: a button pressed and released
// over it emits button_released, and the view neither selects nor moves its
// current row, as it would not under a button widget. A button widget per
// row would cost every row; this costs only the rows in view.
// GUI thread only.
class row_button_delegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    // Watches the mouse on the view's viewport; set it for the button
    // columns with QAbstractItemView::setItemDelegateForColumn.
    explicit row_button_delegate(QAbstractItemView *view);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

signals:
    // The button of `cell` was pressed and released over it.
    void button_released(const QModelIndex &cell);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The button cell under a viewport position; invalid elsewhere.
    QModelIndex button_at(const QPoint &position) const;
    void set_down(bool down);

    QAbstractItemView *view_;
    // The button held down by the mouse, and whether the mouse is over it.
    QPersistentModelIndex pressed_;
    bool down_ = false;
};
