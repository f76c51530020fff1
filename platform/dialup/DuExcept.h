#pragma once
// The dial-up library's exceptions. Their messages come from the error table
// "DIALUP_ERROR_STRINGS_ENGLISH"; only the classes a dial-up path raises are
// kept: the remote access branch and the bad-argument error.
#include <string>

#include "rtl/Exception.h"

class EDialUpException : public rtl::Exception {
public:
    // ErrorCode := code; the message is ErrorMessage(code).
    explicit EDialUpException(int code);
    // ErrorCode := 0, the given message.
    explicit EDialUpException(const std::string& message);
    int ErrorCode() const { return errorCode_; }
    const char* ClassName() const override { return "EDialUpException"; }

protected:
    EDialUpException(int code, const std::string& message) : rtl::Exception(message), errorCode_(code) {}

private:
    int errorCode_ = 0;
};

// Remote access errors.
class ERas : public EDialUpException {
public:
    using EDialUpException::EDialUpException;
    const char* ClassName() const override { return "ERas"; }
};

// The remote access service is missing (-13980).
class ERasLoadFail : public ERas {
public:
    using ERas::ERas;
    const char* ClassName() const override { return "ERasLoadFail"; }
};

class EBadArgument : public EDialUpException {
public:
    using EDialUpException::EDialUpException;
    const char* ClassName() const override { return "EBadArgument"; }
};

// The class library's input/output error, for the library's file results.
class EInOutError : public rtl::Exception {
public:
    EInOutError(int code, const std::string& message) : rtl::Exception(message), ErrorCode(code) {}
    const char* ClassName() const override { return "EInOutError"; }
    int ErrorCode;
};

constexpr int ecBadArgument = -1002;
constexpr int ecRasLoadFail = -13980;

// The text of a library code (its absolute value, so -13980 and 13980 agree):
// the error table's text, else the system's message for that number with
// control characters made blanks and runs of blanks made one; at most 255
// characters; empty when neither has a text.
std::string ErrorMessage(long long code);

// Returns a result of 0 or above unchanged; raises for a negative one: the
// class of that code, an EInOutError for -2 to -162 (out of memory for -8),
// else EDialUpException "Dial-up exception".
int CheckAndRaise(int result);
