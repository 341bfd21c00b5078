#pragma once
// Keeps a text within a number of characters, in place of the maker's length-limiting
// formatter: what an editable field shows is cut to the limit, and a partial edit that
// would pass it is refused. A limit of 0 means no limit. Characters are counted as the
// user sees them (a letter with its accents, an emoji with its joiners), so a cut never
// splits one.
//
// Any thread, one thread at a time per formatter.

#include <QString>
#include <QVariant>

class ZEPMaxLengthFormatter {
public:
    explicit ZEPMaxLengthFormatter(int maximumLength = 0) : maximumLength_(maximumLength) {}

    int maximumLength() const { return maximumLength_; }
    void setMaximumLength(int length) { maximumLength_ = length; }

    // The value's text, cut to the limit; a null string for a value that is not text or a
    // number.
    QString stringForObjectValue(const QVariant& value) const;
    // Whether the user may go on to this text.
    bool isPartialStringValid(const QString& partial) const;

    // Characters of text as the user counts them.
    static int characterCount(const QString& text);

private:
    int maximumLength_;
};
