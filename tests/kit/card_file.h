#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_card.h"

// Simulated cards as text files (NAME.card), one statement a line:
//
//   # Everything after a '#' outside quotes is a comment.
//   base sim-pin                  start from the catalogue card NAME or, if there is none,
//                                 from the card NAME.card beside this file (first statement)
//   title GSM-SIM-Karte ...       one line for people (required)
//   atr 3B 16 94 5A 45 42 52 49 4B
//   protocol T=0                  T=0 or T=1
//   classes A0                    the CLA bytes the card answers; others get 6E 00
//   pin-query on                  whether CHV1 guards the files marked read=chv1
//   chv1 pin=1234 puk=12345678 tries=3/3 puk-tries=10/10 initialised=yes
//   chv2 ...                      the same keys; with a base, only the keys given change
//   df 7F20 aid=D27600000102      a DF by its path from the MF
//   binary 7F20/6F07 sfi=07 read=chv1 : 08 29 26 10 21 43 65 87 09
//   records 7F10/6F3A read=chv1   a linear fixed EF whose records follow ...
//   record gsm"Büro"/14 tel"+4930123456" FF FF
//   repeat 250 record gsm"Kontakt %03d"/14 tel"+4930100%03d" FF FF
//   cyclic 7F10/6F44              ... the same for a cyclic EF
//   select-data 7F20 : 00 00 ...  what SELECT answers for the file instead of its status
//   select-status 2F02 : 62 83    a status word SELECT answers instead of selecting the file
//   remove 7F20/6F46              the file is gone
//   answer times=1 A0 B2 02 04 1C : 94 02
//                                 an exact command and its whole answer, tried before the
//                                 file system in the order written, a card's own answers
//                                 before those of its base; times: how often (all: always)
//
// A file statement names an existing file to change it (options given, content after ':',
// records after `records` replace the old ones) or a new one below an existing DF; 3F00 is
// the MF. Values are tokens, their bytes one after the other:
//   3B 021450          hex digits, two a byte
//   FF*10              one byte, repeated
//   "Bank\x81"/20      ASCII with \x escapes (\\ and \" too), padded with blanks to 20
//   gsm"Jörg"/14       UTF-8 text in the GSM default alphabet, padded with FF to 14
//   tel"+4930123456"   the number part of a dialling record: length, TON/NPI (91 for
//                      "+", else 81), swapped-nibble digits (0-9 * #) padded with FF to
//                      ten bytes; digits beyond 20 are left to an extension record
// In a `repeat N` line, %d or %0Kd in quoted text is the number of the record (1 to N).
namespace zebrik::sim {

// A mistake in a card file, as "FILE:LINE: what was wrong".
class CardFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the card file; its name is the file's stem. Throws CardFileError.
CardDescription LoadCardFile(const std::filesystem::path& path);

// Reads card statements from a text; `origin` names it in messages, `directory` is where
// a base is looked for. Throws CardFileError.
CardDescription ParseCardText(std::string_view text, std::string_view origin, std::string name,
                              const std::filesystem::path& directory);

// A catalogue card or, when the catalogue has none of that name, the card of the file
// NAME.card in `directory`.
std::optional<CardDescription> FindCard(std::string_view name,
                                        const std::filesystem::path& directory);

// The catalogue's cards, then the card of every *.card file in `directory` by name.
std::vector<CardDescription> AllCards(const std::filesystem::path& directory);

// The bytes of value tokens as a card file writes them ("3B 02", "\"Bank\"/20", ...).
// Throws CardFileError.
Bytes ValueBytes(std::string_view tokens);

}  // namespace zebrik::sim
