#include "platform/ui/ZEPMaxLengthFormatter.h"

#include "platform/VariantValues.h"

#include <QTextBoundaryFinder>

namespace {

// The length in code units of the first count characters of text (all of it when shorter).
qsizetype prefixLength(const QString& text, int count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype position = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return text.size();
        position = next;
    }
    return position;
}

} // namespace

int ZEPMaxLengthFormatter::characterCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() >= 0)
        ++count;
    return count;
}

QString ZEPMaxLengthFormatter::stringForObjectValue(const QVariant& value) const
{
    if (value.typeId() != QMetaType::QString && !variant::isNumber(value))
        return QString();
    const QString text = variant::stringValue(value);
    if (maximumLength_ <= 0)
        return text;
    return text.left(prefixLength(text, maximumLength_));
}

bool ZEPMaxLengthFormatter::isPartialStringValid(const QString& partial) const
{
    return maximumLength_ <= 0 || characterCount(partial) <= maximumLength_;
}
