#pragma once

#include <QByteArray>

namespace PropertyList {

// True when a dictionary of the binary property list `data` has a key holding a NUL
// character. The property-list library aborts the program when it hands out such a key, so
// these lists are refused as damaged before it reads them. Anything malformed is left for
// the library's own parser to refuse (the answer is then false).
bool binaryListHasKeyWithNul(const QByteArray& data);

} // namespace PropertyList
