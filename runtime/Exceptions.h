// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The runtime's exception classes. Every error the system raises is an
// Exception (or a subclass) carrying a fixed, human-readable message.
#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }
    // Puts Context before the message, for a caller that knows what the
    // failure concerns ("Cannot read \"a.png\": " + message); the exception
    // keeps its class, so `throw;` passes it on as it was raised.
    void AddContext(const std::string& Context) { message_ = Context + message_; }

private:
    std::string message_;
};

#define QUILLON_EXCEPTION(Name, Base)                    \
    class Name : public Base {                           \
    public:                                              \
        using Base::Base;                                \
    }

// Input/output on a file failed; ErrorCode is the errno (or 100 for a read
// past the end of a file, as the runtime's untyped files report it).
class EInOutError : public Exception {
public:
    EInOutError(std::string message, int errorCode) : Exception(std::move(message)), ErrorCode(errorCode) {}
    int ErrorCode;
};

QUILLON_EXCEPTION(EConvertError, Exception);      // text or values that do not convert
QUILLON_EXCEPTION(EStreamError, Exception);       // stream failures
QUILLON_EXCEPTION(EReadError, EStreamError);      // stream read came up short
QUILLON_EXCEPTION(EWriteError, EStreamError);     // stream write came up short
QUILLON_EXCEPTION(EFOpenError, EStreamError);     // a file stream could not be opened
QUILLON_EXCEPTION(EFCreateError, EStreamError);   // a file stream could not be created
QUILLON_EXCEPTION(EAbstractError, Exception);     // an operation left abstract was called
QUILLON_EXCEPTION(EInvalidGraphic, Exception);    // a picture that cannot be read
QUILLON_EXCEPTION(EInvalidOperation, Exception);  // an operation not valid in the current state
QUILLON_EXCEPTION(EListError, Exception);         // a list index out of bounds
QUILLON_EXCEPTION(EOutOfMemory, Exception);       // a request larger than the runtime allows
QUILLON_EXCEPTION(ERegistryException, Exception); // registry access failed
QUILLON_EXCEPTION(EAbort, Exception);             // long work stopped on request (RequestStop)
