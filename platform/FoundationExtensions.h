#pragma once
// Small helpers over collections and strings that the program's code leans on: the first
// element, a queue on a list, a list reversed, the nearest number, new UUID strings, string
// comparison with numbers in order.

#include <QString>
#include <QUuid>
#include <QVariant>
#include <QVariantList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

// The first element of a list, or nothing when it is empty.
template <typename List>
std::optional<typename List::value_type> car(const List& list)
{
    if (list.isEmpty())
        return std::nullopt;
    return list.first();
}

// Queue operations on a list: push appends, pop removes and answers the first element (or
// nothing when the list is empty).
template <typename List, typename T>
void zepPush(List& list, T&& element)
{
    list.append(std::forward<T>(element));
}

template <typename List>
std::optional<typename List::value_type> zepPop(List& list)
{
    if (list.isEmpty())
        return std::nullopt;
    return list.takeFirst();
}

// The elements of list in reverse order.
template <typename List>
List reverseArray(List list)
{
    std::reverse(list.begin(), list.end());
    return list;
}

// The element of a list of numbers nearest to number (the earliest on a tie), or nothing
// when the list is empty.
inline std::optional<QVariant> closestNumberToNumber(const QVariantList& numbers, double number)
{
    std::optional<QVariant> best;
    double bestDistance = 0;
    for (const QVariant& candidate : numbers) {
        const double distance = std::fabs(candidate.toDouble() - number);
        if (!best || distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

// A list of numbers from an array of unsigned 32-bit values.
inline QVariantList arrayWithUInt32Values(const uint32_t* values, size_t count)
{
    QVariantList list;
    list.reserve(qsizetype(count));
    for (size_t i = 0; i < count; ++i)
        list.append(qlonglong(values[i]));
    return list;
}

// A new UUID string as the program writes them: upper-case, 8-4-4-4-12, no braces. Usable
// as a file name.
inline QString stringWithNewUUID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

// The path without the extension of its last component ("a/b.c.wav" gives "a/b.c"; a name
// without a dot, or one that only starts with a dot, is kept).
inline QString stringByDeletingPathExtension(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > slash + 1 ? path.left(dot) : path;
}

// Compares two strings as a person orders names: runs of digits compare by their numeric
// value ("9.clipdeck" before "10.clipdeck"), everything else character by character.
// Negative, 0 or positive as a comes before, with or after b.
inline int compareNumerically(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype endA = i, endB = j;
            while (endA < a.size() && a[endA].isDigit())
                ++endA;
            while (endB < b.size() && b[endB].isDigit())
                ++endB;
            // Leading zeros do not count; then the longer run is the bigger number.
            qsizetype startA = i, startB = j;
            while (startA + 1 < endA && a[startA] == u'0')
                ++startA;
            while (startB + 1 < endB && b[startB] == u'0')
                ++startB;
            if (endA - startA != endB - startB)
                return endA - startA < endB - startB ? -1 : 1;
            if (const int order = QStringView(a).mid(startA, endA - startA).compare(QStringView(b).mid(startB, endB - startB)))
                return order < 0 ? -1 : 1;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}
