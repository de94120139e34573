#include "version_number.h"

QString raised_version(const QString &version)
{
    return QString::number(qint64(version.toInt()) + 1);
}
