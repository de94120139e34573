#include "project_file.h"

#include "suffix_rule.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const QString key_loadfrom = QStringLiteral("loadfrom");
const QString key_patterns = QStringLiteral("patterns");
const QString key_saveto = QStringLiteral("saveto");
const QString key_version = QStringLiteral("version");
const QString key_zipfile = QStringLiteral("zipfile");
const QString key_zipsize = QStringLiteral("zipsize");
const QString key_zipsign = QStringLiteral("zipsign");
const QString array_ignores = QStringLiteral("ignores");
const QString array_zips = QStringLiteral("zips");
const QString element_key = QStringLiteral("name");

std::optional<QString> present_value(const QSettings &settings, const QString &key)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

std::set<QString> read_array(QSettings &settings, const QString &array)
{
    std::set<QString> paths;
    const int size = settings.beginReadArray(array);
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        paths.insert(settings.value(element_key).toString());
    }
    settings.endArray();
    return paths;
}

// Pre-order walk that stops at its own mark only, so the "zips" walk goes on
// into ignored directories and the "ignores" walk into archived ones.
void write_marked(QSettings &settings, const file_node &node, int file_node::*mark, int &counter)
{
    if (node.*mark == 1) {
        settings.setArrayIndex(counter++);
        settings.setValue(element_key, node.path);
        return;
    }
    for (const file_node &child : node.children)
        write_marked(settings, child, mark, counter);
}

void write_array(QSettings &settings, const QString &array, const file_node &root, int file_node::*mark)
{
    // Elements of an earlier, longer array would otherwise linger past "size".
    settings.remove(array);
    settings.beginWriteArray(array);
    int counter = 0;
    write_marked(settings, root, mark, counter);
    settings.endArray();
}

} // namespace

project_fields project_fields::initial()
{
    project_fields fields;
    fields.patterns = default_patterns();
    fields.version = QStringLiteral("1000");
    fields.zipfile = QStringLiteral("update.zip");
    return fields;
}

project_contents read_project(const QString &path)
{
    project_contents contents;
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        return contents;

    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return contents;

    contents.readable = true;
    contents.loadfrom = present_value(settings, key_loadfrom);
    contents.patterns = present_value(settings, key_patterns);
    contents.saveto = present_value(settings, key_saveto);
    contents.version = present_value(settings, key_version);
    contents.zipfile = present_value(settings, key_zipfile);
    contents.zipsize = present_value(settings, key_zipsize);
    contents.zipsign = present_value(settings, key_zipsign);
    contents.marks.ignores = read_array(settings, array_ignores);
    contents.marks.zips = read_array(settings, array_zips);
    return contents;
}

void apply_project(const project_contents &contents, project_fields &fields)
{
    const project_fields fresh = project_fields::initial();
    fields.loadfrom = contents.loadfrom.value_or(fields.loadfrom);
    fields.patterns = contents.patterns.value_or(fresh.patterns);
    fields.saveto = contents.saveto.value_or(fields.saveto);
    fields.version = contents.version.value_or(fresh.version);
    fields.zipfile = contents.zipfile.value_or(fresh.zipfile);
    fields.zipsize = contents.zipsize.value_or(fresh.zipsize);
    fields.zipsign = contents.zipsign.value_or(fresh.zipsign);
}

bool write_project(const QString &path, const project_fields &fields, const file_node &root)
{
    QSettings settings(path, QSettings::IniFormat);
    if (!settings.isWritable())
        return false;

    settings.setValue(key_saveto, fields.saveto);
    settings.setValue(key_version, fields.version);
    settings.setValue(key_loadfrom, fields.loadfrom);
    settings.setValue(key_patterns, fields.patterns);
    settings.setValue(key_zipfile, fields.zipfile);
    settings.setValue(key_zipsize, fields.zipsize);
    settings.setValue(key_zipsign, fields.zipsign);
    write_array(settings, array_ignores, root, &file_node::ignored);
    write_array(settings, array_zips, root, &file_node::zipped);

    settings.sync();
    return settings.status() == QSettings::NoError;
}
