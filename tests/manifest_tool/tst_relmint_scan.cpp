// The scan as the window shows it: which files the suffix list accepts, the
// order of the rows, links, and the choice of the source directory.
#include "dialog_prompts.h"
#include "relmint_fixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QSettings>
#include <QTest>
#include <QTimer>

namespace {

const char *const form_edits[] = {"edt_project", "edt_src_path", "edt_patterns", "edt_save_path",
                                  "edt_version", "edt_zip",      "edt_size",     "edt_sign"};

// What a cancelled operation must leave as it was: every line edit, the rows
// and the marks they show.
QStringList window_state(window_under_test &ui)
{
    QStringList state;
    for (const char *name : form_edits)
        state.append(ui.edit(name)->text());
    for (const QString &path : ui.row_paths()) {
        const QStringList names = path.split(QLatin1Char('/'));
        state.append(path + QLatin1Char(' ') + ui.ignore_button(names).text() + ui.zip_button(names).text());
    }
    return state;
}

} // namespace

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

    // A scan's dialog counts and can cancel; the cancel undoes the whole
    // operation that started the scan.
    void cancelled_scan_keeps_the_window_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("refresh") << "refresh";
        QTest::newRow("another source directory") << "source directory";
        QTest::newRow("open a project") << "open project";
        QTest::newRow("new project") << "new project";
    }

    void cancelled_scan_keeps_the_window()
    {
        QFETCH(QString, operation);
        scratch_dir shown;
        shown.write(QStringLiteral("a.png"));
        shown.write(QStringLiteral("d/b.png"));
        scratch_dir other;
        other.write(QStringLiteral("other.png"));
        const QString project = other.path(QStringLiteral("other.ini"));
        QSettings settings(project, QSettings::IniFormat);
        settings.setValue(QStringLiteral("loadfrom"), other.path());
        settings.setValue(QStringLiteral("version"), QStringLiteral("77"));
        settings.sync();

        window_under_test ui;
        ui.scan(shown.path());
        ui.click(ui.ignore_button({"a.png"}));
        ui.click(ui.zip_button({"d"}));
        ui.edit("edt_version")->setText(QStringLiteral("1234"));
        ui.edit("edt_sign")->setText(QStringLiteral("typed"));
        const QStringList before = window_state(ui);
        const QString project_before = ui.edit("edt_project")->text();

        {
            cancel_next_progress cancel;
            if (operation == QLatin1String("refresh")) {
                QTest::mouseClick(ui.button("btn_refresh_pattern"), Qt::LeftButton);
            } else if (operation == QLatin1String("source directory")) {
                ui.prompts().directories.enqueue(other.path());
                ui.prompts().confirmations.enqueue(true);
                QTest::mouseClick(ui.button("browse_loadp"), Qt::LeftButton);
            } else if (operation == QLatin1String("open project")) {
                ui.prompts().files.enqueue(project);
                QTest::mouseClick(ui.button("btn_openfile"), Qt::LeftButton);
            } else {
                ui.trigger("new_file");
            }
            QVERIFY(cancel.dialog_shown());
            QVERIFY(cancel.dialog_modal());
            QVERIFY2(cancel.dialog_label().contains(QStringLiteral("扫描")), qPrintable(cancel.dialog_label()));
        }
        QCOMPARE(window_state(ui), before);
        QCOMPARE(ui.ignore_button({"a.png"}).text(), QStringLiteral("取消"));
        QCOMPARE(ui.zip_button({"d"}).style_sheet(), QStringLiteral("font: 9pt \"微软雅黑\";color: rgb(255, 0, 0);color: rgb(0, 0, 255);"));

        // A new project that went through takes the number the cancelled one did not.
        if (operation == QLatin1String("new project")) {
            const int number = project_before.section(QStringLiteral("new_project"), -1).section(QLatin1Char('.'), 0, 0).toInt();
            ui.trigger("new_file");
            QCOMPARE(ui.edit("edt_project")->text(),
                     QDir::currentPath() + QStringLiteral("/new_project%1.ini").arg(number + 1));
        }
    }

    void cancelled_first_scan_leaves_the_root_row_alone()
    {
        scratch_dir here;
        here.write(QStringLiteral("local.png"));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(here.path()));
        std::unique_ptr<window_under_test> ui;
        {
            cancel_next_progress cancel;
            ui = std::make_unique<window_under_test>();
            QVERIFY(cancel.dialog_shown());
        }
        QDir::setCurrent(previous);

        QVERIFY(ui->row().isValid());
        QCOMPARE(ui->row().data().toString(), QFileInfo(here.path()).fileName());
        QCOMPARE(ui->row_paths(), QStringList{});
        QVERIFY(ui->ignore_button() && ui->zip_button());
        QVERIFY(ui->edit("edt_project")->text().endsWith(QStringLiteral(".ini")));
        QVERIFY(ui->edit("edt_patterns")->text().startsWith(QStringLiteral(".exe .dll")));
        QVERIFY(ui->prompts().messages.isEmpty());

        ui->scan(here.path());
        QCOMPARE(ui->row_paths(), QStringList{"local.png"});
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
