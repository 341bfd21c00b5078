#include "platform/XMLElement.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

bool XMLElement::hasAttribute(const QString& name) const
{
    for (const auto& attribute : mAttributes) {
        if (attribute.first == name)
            return true;
    }
    return false;
}

QString XMLElement::attribute(const QString& name) const
{
    for (const auto& attribute : mAttributes) {
        if (attribute.first == name)
            return attribute.second;
    }
    return {};
}

void XMLElement::setAttribute(const QString& name, const QString& value)
{
    for (auto& attribute : mAttributes) {
        if (attribute.first == name) {
            attribute.second = value;
            return;
        }
    }
    mAttributes.append({name, value});
}

void XMLElement::removeAttribute(const QString& name)
{
    mAttributes.removeIf([&](const QPair<QString, QString>& attribute) { return attribute.first == name; });
}

QList<XMLElement> XMLElement::elementsForName(const QString& name) const
{
    QList<XMLElement> found;
    for (const XMLElement& child : mChildren) {
        if (child.mName == name)
            found.append(child);
    }
    return found;
}

const XMLElement* XMLElement::firstElementForName(const QString& name) const
{
    for (const XMLElement& child : mChildren) {
        if (child.mName == name)
            return &child;
    }
    return nullptr;
}

namespace {

void writeElement(QXmlStreamWriter& writer, const XMLElement& element)
{
    writer.writeStartElement(element.name());
    for (const auto& attribute : element.attributes())
        writer.writeAttribute(attribute.first, attribute.second);
    if (!element.stringValue().isEmpty())
        writer.writeCharacters(element.stringValue());
    for (const XMLElement& child : element.children())
        writeElement(writer, child);
    writer.writeEndElement();
}

// Reads the element whose start the reader stands on, up to and including its end.
XMLElement readElement(QXmlStreamReader& reader)
{
    XMLElement element(reader.name().toString());
    for (const QXmlStreamAttribute& attribute : reader.attributes())
        element.setAttribute(attribute.qualifiedName().toString(), attribute.value().toString());
    QString text;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement())
            element.addChild(readElement(reader));
        else if (reader.isCharacters() && !reader.isWhitespace())
            text += reader.text();
        else if (reader.isEndElement())
            break;
    }
    element.setStringValue(text);
    return element;
}

} // namespace

QByteArray XMLElement::xmlData(bool prettyPrint) const
{
    QByteArray data;
    QXmlStreamWriter writer(&data);
    writer.setAutoFormatting(prettyPrint);
    writer.writeStartDocument();
    writeElement(writer, *this);
    writer.writeEndDocument();
    return data;
}

std::optional<XMLElement> XMLElement::fromXMLData(const QByteArray& data, QString* errorText)
{
    QXmlStreamReader reader(data);
    std::optional<XMLElement> root;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && !root)
            root = readElement(reader);
    }
    if (reader.hasError() || !root) {
        if (errorText)
            *errorText = reader.hasError() ? reader.errorString() : QStringLiteral("The document has no element.");
        return std::nullopt;
    }
    return root;
}
