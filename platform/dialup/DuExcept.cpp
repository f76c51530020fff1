#include "platform/dialup/DuExcept.h"

#include <cstring>
#include <new>

#include "platform/dialup/DuStrRes.h"

namespace {

const TStringResource* ErrorTable()
{
    static const TStringResource table(DialupResources(), "DIALUP_ERROR_STRINGS_ENGLISH");
    return &table;
}

// The system's text for an error number; empty for numbers it does not know.
std::string SystemMessage(unsigned long long number)
{
    if (number == 0 || number > 4095)
        return {};
    char buffer[256];
    const char* text = strerror_r(static_cast<int>(number), buffer, sizeof buffer);
    std::string s = text ? text : "";
    if (s.rfind("Unknown error", 0) == 0)
        return {};
    return s;
}

std::string Blanked(const std::string& text)
{
    std::string out;
    for (char c : text) {
        char b = static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
        if (b == ' ' && !out.empty() && out.back() == ' ')
            continue;
        out += b;
    }
    return out;
}

} // namespace

std::string ErrorMessage(long long code)
{
    // Widened first: the absolute value of the most negative int has no int.
    unsigned long long number = code < 0 ? 0ULL - static_cast<unsigned long long>(code)
                                         : static_cast<unsigned long long>(code);
    std::string text;
    if (number <= 0xFFFFFFFFULL)
        text = ErrorTable()->GetString(static_cast<std::uint32_t>(number));
    if (text.empty())
        text = SystemMessage(number);
    text = Blanked(text);
    if (text.size() > 255)
        text.resize(255);
    return text;
}

EDialUpException::EDialUpException(int code) : EDialUpException(code, ErrorMessage(code)) {}

EDialUpException::EDialUpException(const std::string& message) : EDialUpException(0, message) {}

int CheckAndRaise(int result)
{
    if (result >= 0)
        return result;
    switch (result) {
    case ecBadArgument: throw EBadArgument(result);
    case ecRasLoadFail: throw ERasLoadFail(result);
    case -8: throw std::bad_alloc();
    default: break;
    }
    if (result >= -162)
        throw EInOutError(-result, ErrorMessage(result));
    throw EDialUpException(std::string("Dial-up exception"));
}
