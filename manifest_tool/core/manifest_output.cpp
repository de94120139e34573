#include "manifest_output.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString resolved_manifest_path(const QString &save_path)
{
    if (!save_path.isEmpty() && QFileInfo(save_path).isDir())
        return QDir(save_path).absoluteFilePath(QStringLiteral("version_config.xml"));
    return save_path;
}

} // namespace

manifest_output::manifest_output(const QString &save_path)
    : path_(resolved_manifest_path(save_path)), file_(path_)
{
}

bool manifest_output::open()
{
    return !path_.isEmpty() && file_.open(QIODevice::WriteOnly);
}

bool manifest_output::write(const QByteArray &bytes)
{
    // Flushed here so that a full disk shows before anything else is changed.
    return file_.write(bytes) == bytes.size() && file_.flush();
}

bool manifest_output::commit()
{
    return file_.commit();
}

void manifest_output::discard()
{
    file_.cancelWriting();
    // QSaveFile removes its temporary file only when it is closed.
    file_.commit();
}
