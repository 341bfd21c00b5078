#pragma once
// An element of an XML document, in place of the platform's XML tree: a name, attributes
// kept in the order they were first set (and written in that order), child elements and
// text. A plain value: copying an element copies its whole subtree.
//
// Reading and writing go through QXmlStreamReader and QXmlStreamWriter. Any thread; one
// element is used by one thread at a time.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

class XMLElement {
public:
    explicit XMLElement(QString name = {}) : mName(std::move(name)) {}

    QString name() const { return mName; }
    void setName(const QString& name) { mName = name; }

    // Attributes. attribute() answers a null string when the element has none of that name.
    bool hasAttribute(const QString& name) const;
    QString attribute(const QString& name) const;
    // Replaces the value in place, or adds the attribute after the others.
    void setAttribute(const QString& name, const QString& value);
    void removeAttribute(const QString& name);
    const QList<QPair<QString, QString>>& attributes() const { return mAttributes; }

    // Children, in document order.
    const QList<XMLElement>& children() const { return mChildren; }
    void addChild(XMLElement child) { mChildren.append(std::move(child)); }
    // The children of that name, in order; the first of them (null when none).
    QList<XMLElement> elementsForName(const QString& name) const;
    const XMLElement* firstElementForName(const QString& name) const;

    // The text directly inside the element (its children's text left out).
    QString stringValue() const { return mText; }
    void setStringValue(const QString& text) { mText = text; }

    // The element as a document: an XML declaration (UTF-8) and this element as root,
    // indented when prettyPrint.
    QByteArray xmlData(bool prettyPrint = true) const;
    // The root element of a document; nothing (with the reader's message in *errorText)
    // when the data is not well-formed XML.
    static std::optional<XMLElement> fromXMLData(const QByteArray& data, QString* errorText = nullptr);

private:
    QString mName;
    QList<QPair<QString, QString>> mAttributes;
    QList<XMLElement> mChildren;
    QString mText;
};
