#include "row_look.h"

namespace row_look {

namespace {

const QString font_declaration = QStringLiteral("font: 9pt \"微软雅黑\";");
const QString red = QStringLiteral("color: rgb(255, 0, 0);");
const QString blue = QStringLiteral("color: rgb(0, 0, 255);");
const QString black = QStringLiteral("color: rgb(0, 0, 0);");

} // namespace

QIcon row_icon(bool ignored)
{
    // "manglu" (busy) marks ignored rows, "zaixian" (online) the others.
    return QIcon(ignored ? QStringLiteral(":/relmint/Resources/manglu.png")
                         : QStringLiteral(":/relmint/Resources/zaixian.png"));
}

QString ignore_text(bool ignored)
{
    return ignored ? QStringLiteral("取消") : QStringLiteral("忽略");
}

QString zip_text(bool zipped)
{
    return zipped ? QStringLiteral("是") : QStringLiteral("不是");
}

QString ignore_style(const file_node &node)
{
    if (node.ignored)
        return font_declaration + red;
    return node.is_dir ? font_declaration + blue : font_declaration;
}

QString zip_style(const file_node &node)
{
    if (!node.zipped)
        return font_declaration;
    // The later colour wins: a directory in the archive shows blue.
    return node.is_dir ? font_declaration + red + blue : font_declaration + red;
}

QString toggled_style(bool marked)
{
    return font_declaration + (marked ? red : black);
}

} // namespace row_look
