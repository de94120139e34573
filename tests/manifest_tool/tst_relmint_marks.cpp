// The two marks on the rows of the tree: how the buttons show them, what a
// click changes, and how an ignored directory hides its rows.
#include "relmint_fixture.h"

#include <QDir>
#include <QIcon>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

namespace {

const QString font = QStringLiteral("font: 9pt \"微软雅黑\";");
const QString red = QStringLiteral("color: rgb(255, 0, 0);");
const QString blue = QStringLiteral("color: rgb(0, 0, 255);");
const QString black = QStringLiteral("color: rgb(0, 0, 0);");

QImage icon_image(const QIcon &icon)
{
    return icon.pixmap(16, 16).toImage();
}

QImage resource_icon(const char *name)
{
    return icon_image(QIcon(QStringLiteral(":/relmint/Resources/") + QString::fromLatin1(name)));
}

// The marks of a saved project, as paths relative to `root`.
QStringList saved_array(const QString &project, const QString &array, const QString &root)
{
    QStringList out;
    for (const QString &path : read_mark_array(project, array))
        out.append(QDir(root).relativeFilePath(path));
    return out;
}

} // namespace

class tst_relmint_marks : public QObject {
    Q_OBJECT

    scratch_dir cwd_;
    scratch_dir source_;
    QString project_;

private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(cwd_.path()));
        for (const char *name : {"plain.png", "ign.png", "zip.png", "both.png", "plain_dir/p.png",
                                 "ign_dir/i.png", "zip_dir/z.png", "both_dir/b.png"})
            source_.write(QString::fromLatin1(name));

        project_ = cwd_.path(QStringLiteral("marks.ini"));
        QSettings(project_, QSettings::IniFormat).setValue(QStringLiteral("loadfrom"), source_.path());
        const auto under_source = [this](const QStringList &names) {
            QStringList paths;
            for (const QString &name : names)
                paths.append(source_.path(name));
            return paths;
        };
        write_mark_array(project_, QStringLiteral("ignores"), under_source({"ign.png", "both.png", "ign_dir", "both_dir"}));
        write_mark_array(project_, QStringLiteral("zips"), under_source({"zip.png", "both.png", "zip_dir", "both_dir"}));
    }

    void buttons_show_the_marks_data()
    {
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<QString>("ignore_text");
        QTest::addColumn<QString>("ignore_style");
        QTest::addColumn<QString>("zip_text");
        QTest::addColumn<QString>("zip_style");
        QTest::addColumn<bool>("ignored_icon");

        QTest::newRow("root") << QStringList{} << "忽略" << font + blue << "不是" << font << false;
        QTest::newRow("file") << QStringList{"plain.png"} << "忽略" << font << "不是" << font << false;
        QTest::newRow("file ignored") << QStringList{"ign.png"} << "取消" << font + red << "不是" << font << true;
        QTest::newRow("file in archive") << QStringList{"zip.png"} << "忽略" << font << "是" << font + red << false;
        QTest::newRow("file with both marks")
            << QStringList{"both.png"} << "取消" << font + red << "是" << font + red << true;
        QTest::newRow("directory") << QStringList{"plain_dir"} << "忽略" << font + blue << "不是" << font << false;
        QTest::newRow("directory ignored")
            << QStringList{"ign_dir"} << "取消" << font + red << "不是" << font << true;
        QTest::newRow("directory in archive")
            << QStringList{"zip_dir"} << "忽略" << font + blue << "是" << font + red + blue << false;
        QTest::newRow("directory with both marks")
            << QStringList{"both_dir"} << "取消" << font + red << "是" << font + red + blue << true;
    }

    void buttons_show_the_marks()
    {
        QFETCH(QStringList, row);
        QFETCH(QString, ignore_text);
        QFETCH(QString, ignore_style);
        QFETCH(QString, zip_text);
        QFETCH(QString, zip_style);
        QFETCH(bool, ignored_icon);

        window_under_test ui;
        ui.window().open_project(project_);
        QVERIFY(ui.row(row).isValid());
        QCOMPARE(ui.ignore_button(row).text(), ignore_text);
        QCOMPARE(ui.ignore_button(row).style_sheet(), ignore_style);
        QCOMPARE(ui.zip_button(row).text(), zip_text);
        QCOMPARE(ui.zip_button(row).style_sheet(), zip_style);
        QCOMPARE(icon_image(ui.row_icon(row)), resource_icon(ignored_icon ? "manglu.png" : "zaixian.png"));
    }

    void ignored_directories_show_no_rows_below()
    {
        window_under_test ui;
        ui.window().open_project(project_);
        const QStringList expected{"both.png", "ign.png",         "plain.png", "zip.png",      "both_dir",
                                   "ign_dir",  "plain_dir",       "plain_dir/p.png", "zip_dir", "zip_dir/z.png"};
        QCOMPARE(ui.row_paths(), expected);
    }

    void clicking_a_file_row_toggles_its_mark()
    {
        window_under_test ui;
        ui.scan(source_.path());
        ui.edit("edt_project")->setText(cwd_.path(QStringLiteral("toggled.ini")));
        const QStringList row{"plain.png"};

        ui.click(ui.ignore_button(row));
        ui.click(ui.zip_button(row));
        QCOMPARE(ui.ignore_button(row).text(), QStringLiteral("取消"));
        QCOMPARE(ui.ignore_button(row).style_sheet(), font + red);
        QCOMPARE(icon_image(ui.row_icon(row)), resource_icon("manglu.png"));
        QCOMPARE(ui.zip_button(row).text(), QStringLiteral("是"));
        QCOMPARE(ui.zip_button(row).style_sheet(), font + red);
        ui.trigger("save_file");
        QCOMPARE(saved_array(ui.edit("edt_project")->text(), QStringLiteral("ignores"), source_.path()),
                 QStringList{"plain.png"});
        QCOMPARE(saved_array(ui.edit("edt_project")->text(), QStringLiteral("zips"), source_.path()),
                 QStringList{"plain.png"});

        // The same buttons, now in the other groups, take the marks away.
        ui.click(ui.ignore_button(row));
        ui.click(ui.zip_button(row));
        QCOMPARE(ui.ignore_button(row).text(), QStringLiteral("忽略"));
        QCOMPARE(ui.ignore_button(row).style_sheet(), font + black);
        QCOMPARE(icon_image(ui.row_icon(row)), resource_icon("zaixian.png"));
        QCOMPARE(ui.zip_button(row).text(), QStringLiteral("不是"));
        QCOMPARE(ui.zip_button(row).style_sheet(), font + black);
        ui.trigger("save_file");
        QCOMPARE(saved_array(ui.edit("edt_project")->text(), QStringLiteral("ignores"), source_.path()),
                 QStringList{});
        QCOMPARE(saved_array(ui.edit("edt_project")->text(), QStringLiteral("zips"), source_.path()),
                 QStringList{});
    }

    void ignoring_a_directory_hides_and_restores_its_rows()
    {
        scratch_dir source;
        source.write(QStringLiteral("d/a.png"));
        source.write(QStringLiteral("d/sub/b.png"));
        window_under_test ui;
        ui.scan(source.path());
        ui.click(ui.zip_button({"d", "a.png"}));
        ui.click(ui.ignore_button({"d", "sub", "b.png"}));

        ui.click(ui.ignore_button({"d"}));
        QCOMPARE(ui.row_paths(), QStringList{"d"});
        QCOMPARE(ui.ignore_button({"d"}).text(), QStringLiteral("取消"));
        QCOMPARE(ui.ignore_button({"d"}).style_sheet(), font + red);

        ui.click(ui.ignore_button({"d"}));
        QCOMPARE(ui.row_paths(), (QStringList{"d", "d/a.png", "d/sub", "d/sub/b.png"}));
        QCOMPARE(ui.ignore_button({"d"}).style_sheet(), font + blue);
        QCOMPARE(ui.zip_button({"d", "a.png"}).text(), QStringLiteral("是"));
        QCOMPARE(ui.ignore_button({"d", "sub", "b.png"}).text(), QStringLiteral("取消"));
        QCOMPARE(ui.ignore_button({"d", "sub"}).text(), QStringLiteral("忽略"));
    }

    void directory_archive_mark_leaves_rows_below_alone()
    {
        scratch_dir source;
        source.write(QStringLiteral("d/a.png"));
        window_under_test ui;
        ui.scan(source.path());

        ui.click(ui.zip_button({"d"}));
        QCOMPARE(ui.zip_button({"d"}).text(), QStringLiteral("是"));
        QCOMPARE(ui.zip_button({"d"}).style_sheet(), font + red + blue);
        QCOMPARE(ui.zip_button({"d", "a.png"}).text(), QStringLiteral("不是"));
        ui.click(ui.zip_button({"d"}));
        QCOMPARE(ui.zip_button({"d"}).text(), QStringLiteral("不是"));
        QCOMPARE(ui.zip_button({"d"}).style_sheet(), font);
    }

    void rescan_clears_every_mark()
    {
        window_under_test ui;
        ui.window().open_project(project_);
        QTest::mouseClick(ui.button("btn_refresh_pattern"), Qt::LeftButton);
        for (QModelIndex row = ui.row(); row.isValid(); row = ui.tree()->indexBelow(row)) {
            QCOMPARE(ui.button_at(row, 1).text(), QStringLiteral("忽略"));
            QCOMPARE(ui.button_at(row, 2).text(), QStringLiteral("不是"));
        }
        QVERIFY(ui.row({"ign_dir", "i.png"}).isValid());
    }
};

QTEST_MAIN(tst_relmint_marks)
#include "tst_relmint_marks.moc"
