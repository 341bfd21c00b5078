#pragma once

#include <QByteArray>

namespace PropertyList {

// True when a dictionary of the binary property list `data` has a key holding a NUL
// character (the property-list library aborts the program when it hands out such a key), or
// when checking the keys would read the data many times over (only a list whose objects
// overlap or repeat, as no writer makes them, gets there). Such lists are refused as damaged
// before the library reads them. Anything else malformed is left for the library's own parser
// to refuse (the answer is then false).
bool binaryListHasUnsafeKeys(const QByteArray& data);

} // namespace PropertyList
