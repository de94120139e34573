#pragma once

#include <QString>

class QWidget;

// Every question the window asks a person: the file and folder choices and
// the message boxes. Tests put a scripted stand-in here to choose and answer.
class user_prompts {
public:
    virtual ~user_prompts() = default;

    // The folder the user picked, absolute; empty when cancelled.
    virtual QString choose_directory() = 0;
    // The existing file the user picked; empty when cancelled.
    virtual QString choose_file(const QString &name_filter) = 0;
    // A Yes/No question box; true for Yes.
    virtual bool confirm(QWidget *parent, const QString &title, const QString &text) = 0;
    virtual void inform(const QString &title, const QString &text) = 0;
    virtual void warn(const QString &title, const QString &text) = 0;
    virtual void about(QWidget *parent, const QString &title, const QString &text) = 0;
};
