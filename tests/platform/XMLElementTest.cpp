// The XML element tree: attributes keep their first order through a write and a read,
// children and text come back, and data that is not XML is refused with the reader's
// message.
#include "platform/XMLElement.h"

#include <gtest/gtest.h>

TEST(XMLElement, aTreeWrittenAndReadBackKeepsAttributeOrderChildrenAndText)
{
    XMLElement root("clipdeck");
    root.setAttribute("uuid", "ABC");
    root.setAttribute("name", "Sound & <Fury>");
    root.setAttribute("uuid", "DEF"); // replaced in place, not moved to the end
    XMLElement rows("rows");
    rows.setStringValue("4");
    root.addChild(rows);
    XMLElement sounds("sounds");
    XMLElement sound("sound");
    sound.setAttribute("index", "3");
    sounds.addChild(sound);
    sounds.addChild(XMLElement("sound"));
    root.addChild(sounds);

    for (bool pretty : {true, false}) {
        const std::optional<XMLElement> read = XMLElement::fromXMLData(root.xmlData(pretty));
        ASSERT_TRUE(read);
        EXPECT_EQ(read->name(), "clipdeck");
        ASSERT_EQ(read->attributes().size(), 2);
        EXPECT_EQ(read->attributes()[0], (QPair<QString, QString>("uuid", "DEF")));
        EXPECT_EQ(read->attribute("name"), "Sound & <Fury>");
        EXPECT_TRUE(read->attribute("missing").isNull());
        ASSERT_TRUE(read->firstElementForName("rows"));
        EXPECT_EQ(read->firstElementForName("rows")->stringValue(), "4");
        const QList<XMLElement> cells = read->firstElementForName("sounds")->elementsForName("sound");
        ASSERT_EQ(cells.size(), 2);
        EXPECT_EQ(cells[0].attribute("index"), "3");
        EXPECT_FALSE(cells[1].hasAttribute("index"));
    }
    EXPECT_TRUE(root.xmlData().startsWith("<?xml version=\"1.0\""));
}

TEST(XMLElement, dataThatIsNotXMLIsRefusedWithAReason)
{
    for (const QByteArray& data : {QByteArray(), QByteArray("not xml"), QByteArray("<a><b></a>")}) {
        QString reason;
        EXPECT_FALSE(XMLElement::fromXMLData(data, &reason)) << data.constData();
        EXPECT_FALSE(reason.isEmpty());
    }
}
