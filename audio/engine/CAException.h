#pragma once
// What the engine's threading classes throw: one status (a pthread error number, or 1 when
// a guard is waited on by a thread that does not own it).

#include "platform/CoreAudioTypes.h"

class CAException {
public:
    explicit CAException(OSStatus error) : mError(error) {}
    OSStatus GetError() const { return mError; }

private:
    OSStatus mError;
};
