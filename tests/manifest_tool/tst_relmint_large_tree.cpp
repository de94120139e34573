// A tree of a few thousand files in the window, checked by sampling: the
// rows and what their buttons say and show, clicks on them, and a directory
// mark that keeps the user's place.
#include "relmint_fixture.h"

#include <QDir>
#include <QIcon>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QTest>

namespace {

const QString font = QStringLiteral("font: 9pt \"微软雅黑\";");
const QString red = QStringLiteral("color: rgb(255, 0, 0);");
const QString blue = QStringLiteral("color: rgb(0, 0, 255);");
const QString black = QStringLiteral("color: rgb(0, 0, 0);");

constexpr int packs = 30;
constexpr int files_per_folder = 50;
constexpr int file_count = packs * 2 * files_per_folder;
const QString ignored_pack = QStringLiteral("pack07");
const QString zipped_folder = QStringLiteral("pack11/b");

// File number i lies in pack i / 100, folder a or b.
QString file_path(int i)
{
    return QStringLiteral("pack%1/%2/f%3.png")
        .arg(i / (2 * files_per_folder), 2, 10, QLatin1Char('0'))
        .arg(i / files_per_folder % 2 ? QLatin1Char('b') : QLatin1Char('a'))
        .arg(i, 4, 10, QLatin1Char('0'));
}

bool file_ignored(int i)
{
    return i % 37 == 0;
}

bool file_zipped(int i)
{
    return i % 53 == 0;
}

// What a freshly built row of `path` shows: ignore text, ignore style, archive
// text, archive style.
QStringList expected_buttons(const QString &path)
{
    static const QRegularExpression file_name(QStringLiteral("/f(\\d{4})\\.png$"));
    const QRegularExpressionMatch file = file_name.match(path);
    if (file.hasMatch()) {
        const int i = file.captured(1).toInt();
        return {file_ignored(i) ? "取消" : "忽略", file_ignored(i) ? font + red : font,
                file_zipped(i) ? "是" : "不是", file_zipped(i) ? font + red : font};
    }
    const bool ignored = path == ignored_pack;
    const bool zipped = path == zipped_folder;
    return {ignored ? "取消" : "忽略", ignored ? font + red : font + blue, zipped ? "是" : "不是",
            zipped ? font + red + blue : font};
}

// The path of a row below the root, as "a/b/c".
QString path_of(const QModelIndex &row)
{
    QStringList names;
    for (QModelIndex at = row; at.parent().isValid(); at = at.parent())
        names.prepend(at.data().toString());
    return names.join(QLatin1Char('/'));
}

// How many pixels of a button's painted cell are close to a pure colour.
int pixels_near(QTreeView *tree, const QModelIndex &cell, QRgb colour)
{
    tree->scrollTo(cell);
    const QImage image = tree->viewport()->grab(tree->visualRect(cell)).toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAbs(qRed(pixel) - qRed(colour)) < 60 && qAbs(qGreen(pixel) - qGreen(colour)) < 60
                && qAbs(qBlue(pixel) - qBlue(colour)) < 60)
                ++count;
        }
    }
    return count;
}

QImage icon_image(const QIcon &icon)
{
    return icon.pixmap(16, 16).toImage();
}

} // namespace

class tst_relmint_large_tree : public QObject {
    Q_OBJECT

    scratch_dir cwd_;
    scratch_dir source_;
    QString project_;

    // Every row below the root, in the order the view shows them.
    static QList<QModelIndex> all_rows(window_under_test &ui)
    {
        QList<QModelIndex> rows;
        for (QModelIndex row = ui.tree()->indexBelow(ui.row()); row.isValid(); row = ui.tree()->indexBelow(row))
            rows.append(row);
        return rows;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(cwd_.path()));
        QStringList ignores{source_.path(ignored_pack)};
        QStringList zips{source_.path(zipped_folder)};
        for (int i = 0; i < file_count; ++i) {
            source_.write(file_path(i), QByteArray::number(i));
            if (file_ignored(i))
                ignores.append(source_.path(file_path(i)));
            if (file_zipped(i))
                zips.append(source_.path(file_path(i)));
        }
        project_ = cwd_.path(QStringLiteral("large.ini"));
        QSettings(project_, QSettings::IniFormat).setValue(QStringLiteral("loadfrom"), source_.path());
        write_mark_array(project_, QStringLiteral("ignores"), ignores);
        write_mark_array(project_, QStringLiteral("zips"), zips);
    }

    void rows_and_buttons_by_sampling()
    {
        window_under_test ui;
        ui.window().open_project(project_);
        QVERIFY(ui.prompts().messages.isEmpty());

        // Every pack, its two folders and their files, less what the ignored pack hides.
        const QList<QModelIndex> rows = all_rows(ui);
        QCOMPARE(rows.size(), packs * 3 + file_count - 2 * files_per_folder - 2);
        QCOMPARE(path_of(rows.first()), QStringLiteral("pack00"));
        QCOMPARE(path_of(rows.last()), file_path(file_count - 1));
        QCOMPARE(ui.tree()->model()->rowCount(ui.row({ignored_pack})), 0);

        const QImage ignored_icon = icon_image(QIcon(QStringLiteral(":/relmint/Resources/manglu.png")));
        const QImage shown_icon = icon_image(QIcon(QStringLiteral(":/relmint/Resources/zaixian.png")));
        for (int i = 0; i < rows.size(); i += 37) {
            const QString path = path_of(rows[i]);
            const QStringList expected = expected_buttons(path);
            QCOMPARE(ui.button_at(rows[i], 1).text(), expected[0]);
            QCOMPARE(ui.button_at(rows[i], 1).style_sheet(), expected[1]);
            QCOMPARE(ui.button_at(rows[i], 2).text(), expected[2]);
            QCOMPARE(ui.button_at(rows[i], 2).style_sheet(), expected[3]);
            QCOMPARE(icon_image(rows[i].data(Qt::DecorationRole).value<QIcon>()),
                     expected[0] == QStringLiteral("取消") ? ignored_icon : shown_icon);
        }
    }

    // The colours are painted, not only named: a red or blue text shows
    // pixels of that colour, a plain one none.
    void buttons_paint_their_colours_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("colour");
        QTest::newRow("ignored file") << file_path(37 * 40) << 1 << "red";
        QTest::newRow("archived file") << file_path(53 * 20) << 2 << "red";
        QTest::newRow("plain file") << file_path(1001) << 1 << "none";
        QTest::newRow("plain file, archive") << file_path(1001) << 2 << "none";
        QTest::newRow("open directory") << QStringLiteral("pack20") << 1 << "blue";
        QTest::newRow("ignored directory") << ignored_pack << 1 << "red";
        QTest::newRow("archived directory") << zipped_folder << 2 << "blue";
    }

    void buttons_paint_their_colours()
    {
        QFETCH(QString, path);
        QFETCH(int, column);
        QFETCH(QString, colour);
        window_under_test ui;
        ui.window().open_project(project_);
        const QModelIndex cell = ui.button_at(ui.row(path.split(QLatin1Char('/'))), column).cell();
        QVERIFY(cell.isValid());
        const int reds = pixels_near(ui.tree(), cell, qRgb(255, 0, 0));
        const int blues = pixels_near(ui.tree(), cell, qRgb(0, 0, 255));
        QVERIFY2(colour == QLatin1String("red") ? reds > 5 : reds == 0, qPrintable(QString::number(reds)));
        QVERIFY2(colour == QLatin1String("blue") ? blues > 5 : blues == 0, qPrintable(QString::number(blues)));
    }

    void clicks_toggle_sampled_rows()
    {
        window_under_test ui;
        ui.window().open_project(project_);
        // Files without marks, outside the ignored pack.
        const QList<int> sample{3, 445, 1201, 1999, 2522, 2999};
        for (int i : sample) {
            const QStringList row = file_path(i).split(QLatin1Char('/'));
            ui.click(ui.ignore_button(row));
            ui.click(ui.zip_button(row));
            QCOMPARE(ui.ignore_button(row).text(), QStringLiteral("取消"));
            QCOMPARE(ui.ignore_button(row).style_sheet(), font + red);
            QCOMPARE(ui.zip_button(row).text(), QStringLiteral("是"));
            ui.click(ui.zip_button(row));
            QCOMPARE(ui.zip_button(row).text(), QStringLiteral("不是"));
            QCOMPARE(ui.zip_button(row).style_sheet(), font + black);
        }
        ui.edit("edt_project")->setText(cwd_.path(QStringLiteral("clicked.ini")));
        ui.trigger("save_file");
        const QStringList ignores = read_mark_array(cwd_.path(QStringLiteral("clicked.ini")), QStringLiteral("ignores"));
        for (int i : sample)
            QVERIFY2(ignores.contains(source_.path(file_path(i))), qPrintable(file_path(i)));
        int marked_before = 1;  // the ignored pack, written without its files
        for (int i = 0; i < file_count; ++i)
            marked_before += file_ignored(i) && !file_path(i).startsWith(ignored_pack);
        QCOMPARE(ignores.size(), marked_before + sample.size());
    }

    void directory_mark_keeps_the_place()
    {
        window_under_test ui;
        ui.window().open_project(project_);
        QTreeView *tree = ui.tree();
        QScrollBar *scroll = tree->verticalScrollBar();
        scroll->setValue(scroll->maximum() / 2);
        QApplication::processEvents();

        // A folder row in view, and the row above it current.
        QModelIndex folder;
        for (int y = 1; !folder.isValid() && y < tree->viewport()->height(); y += 4) {
            const QModelIndex row = tree->indexAt(QPoint(1, y)).siblingAtColumn(0);
            const QRect rect = tree->visualRect(row);
            if (row.data().toString().size() == 1 && rect.top() >= 0 && rect.bottom() < tree->viewport()->height())
                folder = row;
        }
        QVERIFY(folder.isValid());
        const QString folder_path = path_of(folder);
        const QModelIndex current = tree->indexAbove(folder);
        tree->setCurrentIndex(current);
        const QString current_path = path_of(current);
        const int position = scroll->value();
        const QString top = path_of(tree->indexAt(QPoint(1, 1)));

        const QStringList folder_names = folder_path.split(QLatin1Char('/'));
        ui.click(ui.ignore_button(folder_names));
        QCOMPARE(ui.ignore_button(folder_names).text(), QStringLiteral("取消"));
        QCOMPARE(tree->model()->rowCount(ui.row(folder_names)), 0);
        QCOMPARE(scroll->value(), position);
        QCOMPARE(path_of(tree->indexAt(QPoint(1, 1))), top);
        QCOMPARE(path_of(tree->currentIndex().siblingAtColumn(0)), current_path);
        QVERIFY(tree->selectionModel()->isSelected(tree->currentIndex()));

        // A rebuild opens every row again, also one the user closed above the
        // view; the rows in view stay where they were all the same.
        tree->collapse(ui.row({"pack00"}));
        tree->scrollTo(ui.row(folder_names), QAbstractItemView::PositionAtCenter);
        QApplication::processEvents();
        const QString top_after_collapse = path_of(tree->indexAt(QPoint(1, 1)));
        ui.click(ui.ignore_button(folder_names));
        QCOMPARE(ui.ignore_button(folder_names).text(), QStringLiteral("忽略"));
        QCOMPARE(tree->model()->rowCount(ui.row(folder_names)), files_per_folder);
        QVERIFY(tree->isExpanded(ui.row({"pack00"})));
        QCOMPARE(path_of(tree->indexAt(QPoint(1, 1))), top_after_collapse);
        QCOMPARE(path_of(tree->currentIndex().siblingAtColumn(0)), current_path);
    }
};

QTEST_MAIN(tst_relmint_large_tree)
#include "tst_relmint_large_tree.moc"
