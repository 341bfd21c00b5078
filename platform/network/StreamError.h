#pragma once
// Status, events and errors of our socket streams, in place of the platform's stream types.

#include <cstdint>

// The life of a stream; the numbers are the ones logs and descriptions show.
enum class StreamStatus : int {
    NotOpen = 0,
    Opening = 1,
    Open = 2,
    Reading = 3,
    Writing = 4,
    AtEnd = 5,
    Closed = 6,
    Error = 7,
};

// Domains of a stream error's code.
enum StreamErrorDomain : int {
    kCFStreamErrorDomainNone = 0,
    kCFStreamErrorDomainPOSIX = 1,      // code: errno
    kCFStreamErrorDomainMacOSStatus = 2, // code: a status code
    kCFStreamErrorDomainMach = 3,
    kCFStreamErrorDomainNetDB = 4,       // code: a getaddrinfo() code
    kCFStreamErrorDomainNetServices = 5,
    kCFStreamErrorDomainSOCKS = 6,
    kCFStreamErrorDomainSystemConfiguration = 7,
    kCFStreamErrorDomainSSL = 8,
};

struct StreamError {
    int domain = kCFStreamErrorDomainNone;
    int32_t code = 0;

    bool isError() const { return domain != kCFStreamErrorDomainNone || code != 0; }
};
