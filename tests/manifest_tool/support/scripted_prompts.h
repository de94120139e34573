#pragma once

#include "user_prompts.h"

#include <QList>
#include <QQueue>
#include <QStringList>

// Stands in for the person in front of the window: answers the choices from
// queues the test fills (an empty queue answers "cancel") and records every
// message box.
class scripted_prompts : public user_prompts {
public:
    struct message {
        QString kind;  // "inform", "warn", "confirm" or "about"
        QString title;
        QString text;
    };

    QQueue<QString> directories;
    QQueue<QString> files;
    QQueue<bool> confirmations;
    QStringList file_filters;  // name filter of each file choice
    QList<message> messages;

    QString choose_directory() override;
    QString choose_file(const QString &name_filter) override;
    bool confirm(QWidget *parent, const QString &title, const QString &text) override;
    void inform(const QString &title, const QString &text) override;
    void warn(const QString &title, const QString &text) override;
    void about(QWidget *parent, const QString &title, const QString &text) override;
};
