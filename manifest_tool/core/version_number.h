#pragma once

#include <QString>

// The version after a build: the text read as a decimal number (0 when it is
// not one) plus one.
QString raised_version(const QString &version);
