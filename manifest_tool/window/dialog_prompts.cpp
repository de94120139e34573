#include "dialog_prompts.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace {

QString first_selected(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString dialog_prompts::choose_directory()
{
    QFileDialog dialog;
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // The selected file is the folder picked; the dialog's directory() would
    // be the folder it was picked in.
    const QString chosen = first_selected(dialog);
    return chosen.isEmpty() ? chosen : QDir(chosen).absolutePath();
}

QString dialog_prompts::choose_file(const QString &name_filter)
{
    QFileDialog dialog;
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(name_filter);
    return first_selected(dialog);
}

bool dialog_prompts::confirm(QWidget *parent, const QString &title, const QString &text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::NoButton) == QMessageBox::Yes;
}

void dialog_prompts::inform(const QString &title, const QString &text)
{
    QMessageBox::information(nullptr, title, text, QMessageBox::Ok);
}

void dialog_prompts::warn(const QString &title, const QString &text)
{
    QMessageBox::warning(nullptr, title, text, QMessageBox::Ok);
}

void dialog_prompts::about(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::about(parent, title, text);
}
