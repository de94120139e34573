#pragma once

#include "file_node.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>

// How a row of the tree shows a node and its two marks.
namespace row_look {

QIcon row_icon(bool ignored);

// One of a row's two buttons: its text, the style sheet a button widget
// would carry, and the text colour that style sheet gives (the last colour
// declaration wins; invalid when it sets none).
struct button_look {
    QString text;
    QString style_sheet;
    QColor colour;
};

// The buttons of a freshly built row: red for a set mark, blue for a
// directory that is shown open or carried in the archive.
button_look ignore_button(const file_node &node);
button_look zip_button(const file_node &node);

// A file row's button after a click toggled its mark.
button_look toggled_ignore_button(bool ignored);
button_look toggled_zip_button(bool zipped);

// The font of the buttons' style sheets, on top of `base`.
QFont button_font(const QFont &base);

} // namespace row_look
