#pragma once

#include "user_prompts.h"

// The prompts as modal Qt dialogs and message boxes.
class dialog_prompts : public user_prompts {
public:
    QString choose_directory() override;
    QString choose_file(const QString &name_filter) override;
    bool confirm(QWidget *parent, const QString &title, const QString &text) override;
    void inform(const QString &title, const QString &text) override;
    void warn(const QString &title, const QString &text) override;
    void about(QWidget *parent, const QString &title, const QString &text) override;
};
