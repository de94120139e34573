#include "manifest_xml.h"

#include <QFileInfo>
#include <QXmlStreamWriter>

namespace {

class manifest_writer {
public:
    manifest_writer(QByteArray &out, const manifest_header &header, const QList<file_digest> &digests)
        : xml_(&out), header_(header), digests_(digests)
    {
        xml_.setAutoFormatting(true);
        xml_.setAutoFormattingIndent(4);
    }

    void write(const file_node &root)
    {
        xml_.writeStartDocument();
        xml_.writeStartElement(QStringLiteral("dir"));
        xml_.writeAttribute(QStringLiteral("n"), QFileInfo(root.path).fileName());
        xml_.writeAttribute(QStringLiteral("v"), header_.version);
        xml_.writeAttribute(QStringLiteral("d"), header_.date.toString(QStringLiteral("yyyy-MM-dd")));
        if (!header_.zipfile.isEmpty()) {
            xml_.writeStartElement(QStringLiteral("zips"));
            xml_.writeStartElement(QStringLiteral("f"));
            xml_.writeAttribute(QStringLiteral("n"), header_.zipfile);
            xml_.writeAttribute(QStringLiteral("s"), header_.zipsize);
            xml_.writeCharacters(header_.zipsign);
            xml_.writeEndElement();
            xml_.writeEndElement();
        }
        write_nodes(root, root.zipped != 0);
        xml_.writeEndElement();
        xml_.writeEndDocument();
    }

private:
    void write_nodes(const file_node &node, bool zipped_above)
    {
        for (const file_node &child : node.children) {
            if (child.ignored)
                continue;
            const bool zipped = zipped_above || child.zipped;
            if (child.is_dir) {
                xml_.writeStartElement(QStringLiteral("dir"));
                xml_.writeAttribute(QStringLiteral("n"), QFileInfo(child.path).fileName());
                write_nodes(child, zipped);
                xml_.writeEndElement();
                continue;
            }
            const file_digest &digest = digests_.at(next_digest_++);
            xml_.writeStartElement(QStringLiteral("f"));
            xml_.writeAttribute(QStringLiteral("s"), QString::number(digest.size));
            if (zipped)
                xml_.writeAttribute(QStringLiteral("zip"), header_.zipfile);
            xml_.writeAttribute(QStringLiteral("n"), QFileInfo(child.path).fileName());
            if (!digest.text.isEmpty())
                xml_.writeCharacters(digest.text);
            xml_.writeEndElement();
        }
    }

    QXmlStreamWriter xml_;
    const manifest_header &header_;
    const QList<file_digest> &digests_;
    qsizetype next_digest_ = 0;
};

} // namespace

QByteArray manifest_xml(const file_node &root, const manifest_header &header,
                        const QList<file_digest> &digests)
{
    Q_ASSERT(digests.size() == listed_files(root).size());
    QByteArray out;
    manifest_writer(out, header, digests).write(root);
    return out;
}
