#pragma once

#include <QByteArray>

namespace PropertyList {

// True when the binary property list `data` cannot be read safely, so that it is refused as
// damaged before the property-list library reads it:
//  - a dictionary has a key holding a NUL character (the library aborts the program when it
//    hands out such a key);
//  - checking the keys would read the data many times over (only a list whose objects
//    overlap or repeat, as no writer makes them, gets there);
//  - read, it would grow far beyond its own size: the library copies an object for every
//    reference to it, so more than about a million copies, or 16 MiB of copied strings and
//    data, beyond what the list holds itself;
//  - it nests more than 512 levels deep, or an object contains itself.
// Anything else malformed is left for the library's own parser to refuse (the answer is
// then false).
bool binaryListIsUnsafeToRead(const QByteArray& data);

} // namespace PropertyList
