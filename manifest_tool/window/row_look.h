#pragma once

#include "file_node.h"

#include <QIcon>
#include <QString>

// How a row of the tree shows a node and its two marks.
namespace row_look {

QIcon row_icon(bool ignored);
QString ignore_text(bool ignored);
QString zip_text(bool zipped);

// Style sheets of a freshly filled row's buttons: red for a set mark, blue
// for a directory that is shown open or carried in the archive.
QString ignore_style(const file_node &node);
QString zip_style(const file_node &node);

// Style sheet of a file row's button after a click toggled its mark.
QString toggled_style(bool marked);

} // namespace row_look
