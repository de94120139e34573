#include "suffix_rule.h"

#include <QFileInfo>

QString default_patterns()
{
    return QStringLiteral(".exe .dll .xml .plist .ExportJson .png .jpg .bmp .json .mp3 .wav "
                          ".ttf .fnt .ico .pvr.ccz .csb");
}

bool suffix_accepted(const QString &patterns, const QString &file_name)
{
    const QString tested = QLatin1Char('.') + QFileInfo(file_name).suffix();
    return patterns.contains(tested, Qt::CaseSensitive);
}
