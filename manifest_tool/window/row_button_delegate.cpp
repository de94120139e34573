#include "row_button_delegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

// A button's option as QPushButton builds it for painting and sizing.
QStyleOptionButton button_option(const QStyleOptionViewItem &cell, const QModelIndex &index)
{
    QStyleOptionButton button;
    button.direction = cell.direction;
    button.rect = cell.rect;
    button.palette = cell.palette;
    const QVariant colour = index.data(Qt::ForegroundRole);
    if (colour.isValid())
        button.palette.setColor(QPalette::ButtonText, colour.value<QBrush>().color());
    const QVariant font = index.data(Qt::FontRole);
    button.fontMetrics = QFontMetrics(font.isValid() ? font.value<QFont>() : cell.font);
    button.text = index.data().toString();
    button.state = QStyle::State_Enabled | (cell.state & (QStyle::State_Active | QStyle::State_MouseOver));
    return button;
}

} // namespace

row_button_delegate::row_button_delegate(QAbstractItemView *view) : QStyledItemDelegate(view), view_(view)
{
    view_->viewport()->installEventFilter(this);
}

void row_button_delegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const
{
    QStyleOptionButton button = button_option(option, index);
    const bool sunken = down_ && pressed_ == index;
    button.state |= sunken ? QStyle::State_Sunken : QStyle::State_Raised;

    painter->save();
    const QVariant font = index.data(Qt::FontRole);
    if (font.isValid())
        painter->setFont(font.value<QFont>());
    view_->style()->drawControl(QStyle::CE_PushButton, &button, painter, view_);
    painter->restore();
}

QSize row_button_delegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // As QPushButton::sizeHint: the text's size, grown by the style's margins.
    QStyleOptionButton button = button_option(option, index);
    const QSize text = button.fontMetrics.size(Qt::TextShowMnemonic,
                                               button.text.isEmpty() ? QStringLiteral("XXXX") : button.text);
    button.rect.setSize(text);
    return view_->style()->sizeFromContents(QStyle::CT_PushButton, &button, text, view_);
}

QModelIndex row_button_delegate::button_at(const QPoint &position) const
{
    const QModelIndex cell = view_->indexAt(position);
    return cell.isValid() && view_->itemDelegateForColumn(cell.column()) == this ? cell : QModelIndex();
}

void row_button_delegate::set_down(bool down)
{
    if (down_ == down)
        return;
    down_ = down;
    if (pressed_.isValid())
        view_->update(pressed_);
}

bool row_button_delegate::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != view_->viewport())
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // A button takes every press on it, so the row under it is not selected.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QModelIndex cell = button_at(mouse->position().toPoint());
        if (!cell.isValid())
            return false;
        if (mouse->button() == Qt::LeftButton) {
            pressed_ = cell;
            down_ = false;
            set_down(true);
        }
        return true;
    }
    case QEvent::MouseMove: {
        if (!pressed_.isValid())
            return false;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        set_down(view_->visualRect(pressed_).contains(mouse->position().toPoint()));
        return true;
    }
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!pressed_.isValid() || mouse->button() != Qt::LeftButton)
            return button_at(mouse->position().toPoint()).isValid();
        const QModelIndex cell = pressed_;
        const bool over = view_->visualRect(cell).contains(mouse->position().toPoint());
        set_down(false);
        pressed_ = QPersistentModelIndex();
        if (over)
            emit button_released(cell);
        return true;
    }
    default:
        return false;
    }
}
