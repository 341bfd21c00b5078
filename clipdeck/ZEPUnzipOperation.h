#pragma once
// Unpacks one entry of a ZEPUnzipper's archive, on the unzipper's queue: opens the archive
// again, finds the entry by its whole name, and copies its data chunk by chunk into the
// output folder (ZEPUnzipper.h says what is written where), counting the bytes with the
// unzipper. A cancel is noticed between chunks. A failure goes to the unzipper
// (operationDidFail), which ends the work.
//
// Fields as ZEPZipOperation's: inputURL the archive, relativePath the entry's name,
// outputURL the folder unpacked into.

#include "clipdeck/ZEPZipOperation.h"

class ZEPUnzipOperation : public ZEPZipOperation {
public:
    using ZEPZipOperation::ZEPZipOperation;

    void main() override;
};
