#pragma once

#include <QString>

// The suffix list a new project starts with.
QString default_patterns();

// Whether a file name is accepted by a suffix list: "." plus the text after
// the name's last full stop must occur in the list, case-sensitively. The
// list's blanks are its only separators, so ".js" is inside ".json" and a
// name without a full stop is accepted by any list that holds one.
bool suffix_accepted(const QString &patterns, const QString &file_name);
