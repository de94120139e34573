#include "scripted_prompts.h"

QString scripted_prompts::choose_directory()
{
    return directories.isEmpty() ? QString() : directories.dequeue();
}

QString scripted_prompts::choose_file(const QString &name_filter)
{
    file_filters.append(name_filter);
    return files.isEmpty() ? QString() : files.dequeue();
}

bool scripted_prompts::confirm(QWidget *, const QString &title, const QString &text)
{
    messages.append({QStringLiteral("confirm"), title, text});
    return !confirmations.isEmpty() && confirmations.dequeue();
}

void scripted_prompts::inform(const QString &title, const QString &text)
{
    messages.append({QStringLiteral("inform"), title, text});
}

void scripted_prompts::warn(const QString &title, const QString &text)
{
    messages.append({QStringLiteral("warn"), title, text});
}

void scripted_prompts::about(QWidget *, const QString &title, const QString &text)
{
    messages.append({QStringLiteral("about"), title, text});
}
