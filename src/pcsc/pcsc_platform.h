#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/ports/resource_manager.h"

// What the PC/SC adapter does differently over pcsc-lite (pcsc_platform_posix.cpp) and
// over Windows' WinSCard (pcsc_platform_windows.cpp); the rest of it is the same API.
namespace zebrik::pcsc {

// One of the six card states (anything else for none) from what the status query reports:
// pcsc-lite reports a set of flags, Windows the state itself.
std::uint32_t CardState(std::uint32_t reported, std::uint32_t activeProtocol);

// Turns the names in the first `length` bytes of a multi-string the resource manager filled
// into UTF-8, in place, with `length` the bytes they take then; false when they no longer
// fit. pcsc-lite's names are UTF-8 already; Windows' ANSI functions give them in the ANSI
// code page.
bool NamesToUtf8(std::span<char> names, std::uint32_t& length);

// A reader name from the report's UTF-8 back into the resource manager's own encoding.
std::string NameForResourceManager(const std::string& utf8Name);

// The names the platform knows for a card's ATR, as a multi-string: on Linux from the list
// file `cardList`, on Windows from the system's card database (the file is not used).
ResultCode ListKnownCards(std::intptr_t context, const std::string& cardList,
                          std::span<const std::uint8_t> atr, std::span<char> names,
                          std::uint32_t& length);

}  // namespace zebrik::pcsc
