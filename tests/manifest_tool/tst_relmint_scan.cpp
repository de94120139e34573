// The scan as the window shows it: which files the suffix list accepts, the
// order of the rows, links, and the choice of the source directory.
#include "dialog_prompts.h"
#include "relmint_fixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

class tst_relmint_scan : public QObject {
    Q_OBJECT

    scratch_dir cwd_;

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(cwd_.path())); }

    void suffix_rule_data()
    {
        QTest::addColumn<QString>("file_name");
        QTest::addColumn<QString>("patterns");
        QTest::addColumn<bool>("accepted");
        const QString standard = QStringLiteral(
            ".exe .dll .xml .plist .ExportJson .png .jpg .bmp .json .mp3 .wav .ttf .fnt .ico .pvr.ccz .csb");
        QTest::newRow("a.png") << "a.png" << standard << true;
        QTest::newRow("a.PNG is case-sensitive") << "a.PNG" << standard << false;
        QTest::newRow("a.pvr.ccz") << "a.pvr.ccz" << standard << true;
        QTest::newRow("b.ccz inside .pvr.ccz") << "b.ccz" << standard << true;
        QTest::newRow("a.js inside .json") << "a.js" << standard << true;
        QTest::newRow("a.ex inside .exe") << "a.ex" << standard << true;
        QTest::newRow("README by the list's full stop") << "README" << standard << true;
        QTest::newRow("a.txt") << "a.txt" << standard << false;
        QTest::newRow("README, list without full stop") << "README" << "png txt" << false;
        QTest::newRow("own list") << "notes.txt" << ".txt" << true;
    }

    void suffix_rule()
    {
        QFETCH(QString, file_name);
        QFETCH(QString, patterns);
        QFETCH(bool, accepted);
        scratch_dir source;
        source.write(file_name);

        window_under_test ui;
        ui.edit("edt_patterns")->setText(patterns);
        ui.scan(source.path());
        QCOMPARE(ui.row_paths(), accepted ? QStringList{file_name} : QStringList{});
    }

    void files_come_before_directories_in_name_order()
    {
        scratch_dir source;
        for (const char *name : {"z.png", "A.png", "b.png", "a_dir/q.png", "c_dir/y.png", "c_dir/X.png",
                                 ".hidden.png", "skip.txt"})
            source.write(QString::fromLatin1(name));
        source.make_dir(QStringLiteral("B_dir"));

        window_under_test ui;
        ui.scan(source.path());
        const QStringList expected{"A.png", "b.png",       "z.png",      "a_dir", "a_dir/q.png",
                                   "B_dir", "c_dir",       "c_dir/X.png", "c_dir/y.png"};
        QCOMPARE(ui.row_paths(), expected);
        QCOMPARE(ui.row().data().toString(), QFileInfo(source.path()).fileName());
    }

    void links_back_to_an_ancestor_are_not_followed()
    {
        scratch_dir source;
        source.write(QStringLiteral("other/o.png"));
        source.write(QStringLiteral("sub/deeper/d.png"));
        QVERIFY(QFile::link(source.path(), source.path(QStringLiteral("sub/to_root"))));
        QVERIFY(QFile::link(source.path(QStringLiteral("sub")), source.path(QStringLiteral("sub/deeper/to_sub"))));
        QVERIFY(QFile::link(source.path(QStringLiteral("other")), source.path(QStringLiteral("sub/to_other"))));
        QVERIFY(QFile::link(source.path(QStringLiteral("other/o.png")), source.path(QStringLiteral("sub/l.png"))));

        window_under_test ui;
        ui.scan(source.path());
        const QStringList expected{"other", "other/o.png", "sub",        "sub/l.png",
                                   "sub/deeper", "sub/deeper/d.png", "sub/to_other", "sub/to_other/o.png"};
        QCOMPARE(ui.row_paths(), expected);
    }

    void empty_source_path_scans_the_current_directory()
    {
        scratch_dir here;
        here.write(QStringLiteral("local.png"));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(here.path()));

        window_under_test ui;  // the first project has no "loadfrom"
        QDir::setCurrent(previous);
        QCOMPARE(ui.edit("edt_src_path")->text(), QString());
        QCOMPARE(ui.row().data().toString(), QFileInfo(here.path()).fileName());
        QCOMPARE(ui.row_paths(), QStringList{"local.png"});
    }

    void missing_source_gives_the_root_row_alone()
    {
        scratch_dir source;
        window_under_test ui;
        ui.scan(source.path(QStringLiteral("gone")));
        QVERIFY(ui.row().isValid());
        QCOMPARE(ui.row().data().toString(), QStringLiteral("gone"));
        QCOMPARE(ui.row_paths(), QStringList{});
        QVERIFY(ui.ignore_button() && ui.zip_button());
    }

    void suffix_list_applies_only_on_refresh()
    {
        scratch_dir source;
        source.write(QStringLiteral("a.png"));
        source.write(QStringLiteral("b.txt"));
        window_under_test ui;
        ui.scan(source.path());

        ui.edit("edt_patterns")->setText(QStringLiteral(".txt"));
        QCOMPARE(ui.row_paths(), QStringList{"a.png"});
        QTest::mouseClick(ui.button("btn_refresh_pattern"), Qt::LeftButton);
        QCOMPARE(ui.row_paths(), QStringList{"b.txt"});

        QTest::mouseClick(ui.button("btn_reset"), Qt::LeftButton);
        QVERIFY(ui.edit("edt_patterns")->text().startsWith(QStringLiteral(".exe .dll .xml")));
        QCOMPARE(ui.row_paths(), QStringList{"b.txt"});
    }

    void choosing_the_source_directory()
    {
        scratch_dir first;
        scratch_dir second;
        first.write(QStringLiteral("one.png"));
        second.write(QStringLiteral("two.png"));
        window_under_test ui;
        ui.scan(first.path());
        ui.click(ui.ignore_button({"one.png"}));
        QCOMPARE(ui.ignore_button({"one.png"}).text(), QStringLiteral("取消"));

        // The same folder again: no question, a fresh scan without marks.
        first.write(QStringLiteral("new.png"));
        ui.prompts().directories.enqueue(first.path());
        QTest::mouseClick(ui.button("browse_loadp"), Qt::LeftButton);
        QVERIFY(ui.prompts().messages.isEmpty());
        QCOMPARE(ui.row_paths(), (QStringList{"new.png", "one.png"}));
        QCOMPARE(ui.ignore_button({"one.png"}).text(), QStringLiteral("忽略"));

        // Another folder, answered No: nothing changes.
        ui.prompts().directories.enqueue(second.path());
        ui.prompts().confirmations.enqueue(false);
        QTest::mouseClick(ui.button("browse_loadp"), Qt::LeftButton);
        QCOMPARE(ui.prompts().messages.size(), 1);
        QCOMPARE(ui.prompts().messages[0].kind, QStringLiteral("confirm"));
        QCOMPARE(ui.prompts().messages[0].title, QStringLiteral("确认"));
        QCOMPARE(ui.prompts().messages[0].text, QStringLiteral("重新设置路径会丢失所有改动，确定要执行吗？"));
        QCOMPARE(ui.edit("edt_src_path")->text(), first.path());
        QCOMPARE(ui.row_paths(), (QStringList{"new.png", "one.png"}));

        // Answered Yes: the new folder is scanned.
        ui.prompts().directories.enqueue(second.path());
        ui.prompts().confirmations.enqueue(true);
        QTest::mouseClick(ui.button("browse_loadp"), Qt::LeftButton);
        QCOMPARE(ui.edit("edt_src_path")->text(), second.path());
        QCOMPARE(ui.row_paths(), QStringList{"two.png"});
    }

    // The real folder dialog: the folder picked is the answer, not the folder
    // it was picked in.
    void folder_dialog_returns_the_picked_folder()
    {
        scratch_dir parent;
        parent.make_dir(QStringLiteral("picked"));
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
            QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
            dialog->setDirectory(parent.path());
            dialog->selectFile(QStringLiteral("picked"));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        dialog_prompts prompts;
        QCOMPARE(prompts.choose_directory(), parent.path(QStringLiteral("picked")));
    }
};

QTEST_MAIN(tst_relmint_scan)
#include "tst_relmint_scan.moc"
