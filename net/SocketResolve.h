#pragma once
// Address, port and protocol resolvers of the socket component, the dotted
// address test and the English texts of socket error codes.
#include <cstdint>
#include <string>
#include <string_view>

#include "net/SocketException.h"

// Skips leading blanks, then reads decimal digits up to the first non-digit
// (0 when none). No sign; the value wraps like the unsigned arithmetic it is.
int ParseDecimal(std::string_view Text);
bool IsDecimalDigit(char Ch);
// Four decimal groups of at most 255 joined by single dots, blanks allowed
// around the whole.
bool IsDottedAddress(std::string_view Text);

// Each raises ESocketException on failure.
// An IPv4 address in network order.
std::uint32_t SocketResolveHost(const std::string& InAddr);
// A port number in host order.
std::uint16_t SocketResolvePort(const std::string& Port, const std::string& Proto);
int SocketResolveProto(const std::string& Proto);

// The English text of a socket error code ("Not a WinSock error" when unknown).
std::string SocketErrorText(int ErrCode);
