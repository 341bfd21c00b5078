#pragma once
// A number of seconds as a short time text, in place of the maker's duration formatter:
// "1:05", "1:02:03", "4.250", "0:04.250".
//
// The seconds are rounded once, to the shown precision (whole seconds, or milliseconds
// with includeMilliseconds), before the text is cut into fields, so 59.6 s reads "1:00",
// never "0:60".
//  - Hours appear from one hour on: "h:mm:ss".
//  - Below an hour, minutes appear when alwaysShowMinutes is on or the time is a minute or
//    more; otherwise the text is the seconds alone ("5", "5.250"). Minutes are written with
//    two digits ("01:05", "00:05"), or, with allowsOneZero, without padding ("1:05", "0:05").
//  - Negative times carry a leading "-"; NaN and infinities read "--:--" (".---" added with
//    milliseconds).
//
// Any thread, one thread at a time per formatter.

#include <QString>
#include <QVariant>

class ZEPDurationFormatter {
public:
    bool allowsOneZero() const { return allowsOneZero_; }
    void setAllowsOneZero(bool allows) { allowsOneZero_ = allows; }
    bool alwaysShowMinutes() const { return alwaysShowMinutes_; }
    void setAlwaysShowMinutes(bool always) { alwaysShowMinutes_ = always; }
    bool includeMilliseconds() const { return includeMilliseconds_; }
    void setIncludeMilliseconds(bool include) { includeMilliseconds_ = include; }

    // The text for a number of seconds.
    QString stringForSeconds(double seconds) const;
    // The text for a value holding a number; a null string for anything else.
    QString stringForObjectValue(const QVariant& value) const;

private:
    bool allowsOneZero_ = false;
    bool alwaysShowMinutes_ = false;
    bool includeMilliseconds_ = false;
};
