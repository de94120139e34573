#include "row_look.h"

namespace row_look {

namespace {

const QString font_declaration = QStringLiteral("font: 9pt \"微软雅黑\";");

struct colour_declaration {
    const char *css;
    QRgb rgb;
};

constexpr colour_declaration red{"color: rgb(255, 0, 0);", qRgb(255, 0, 0)};
constexpr colour_declaration blue{"color: rgb(0, 0, 255);", qRgb(0, 0, 255)};
constexpr colour_declaration black{"color: rgb(0, 0, 0);", qRgb(0, 0, 0)};

// The declarations are appended in order without separators, as a style
// sheet would hold them; the last colour is the one that shows.
button_look look(const QString &text, std::initializer_list<colour_declaration> colours)
{
    button_look out{text, font_declaration, QColor()};
    for (const colour_declaration &colour : colours) {
        out.style_sheet += QLatin1String(colour.css);
        out.colour = QColor(colour.rgb);
    }
    return out;
}

QString ignore_text(bool ignored)
{
    return ignored ? QStringLiteral("取消") : QStringLiteral("忽略");
}

QString zip_text(bool zipped)
{
    return zipped ? QStringLiteral("是") : QStringLiteral("不是");
}

} // namespace

QIcon row_icon(bool ignored)
{
    // "manglu" (busy) marks ignored rows, "zaixian" (online) the others.
    return QIcon(ignored ? QStringLiteral(":/relmint/Resources/manglu.png")
                         : QStringLiteral(":/relmint/Resources/zaixian.png"));
}

button_look ignore_button(const file_node &node)
{
    if (node.ignored)
        return look(ignore_text(true), {red});
    if (node.is_dir)
        return look(ignore_text(false), {blue});
    return look(ignore_text(false), {});
}

button_look zip_button(const file_node &node)
{
    if (!node.zipped)
        return look(zip_text(false), {});
    // The later colour wins: a directory in the archive shows blue.
    if (node.is_dir)
        return look(zip_text(true), {red, blue});
    return look(zip_text(true), {red});
}

button_look toggled_ignore_button(bool ignored)
{
    return look(ignore_text(ignored), {ignored ? red : black});
}

button_look toggled_zip_button(bool zipped)
{
    return look(zip_text(zipped), {zipped ? red : black});
}

QFont button_font(const QFont &base)
{
    QFont font(base);
    font.setFamilies({QStringLiteral("微软雅黑")});
    font.setPointSize(9);
    return font;
}

} // namespace row_look
