// Dialling-number files in DF TELECOM (GSM 11.11 10.5.1 ADN, 10.5.2 FDN, 10.5.5 MSISDN,
// 10.5.8 LND), all with the record layout of EF ADN.
#include "core/cards/sim/dialling_numbers.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "core/cards/sim/gsm_alphabet.h"
#include "core/cards/sim/sim.h"
#include "core/cards/sim/sim_commands.h"
#include "core/report/text.h"

namespace zebrik {

using namespace sim_commands;

namespace {

constexpr std::uint8_t kUnused = 0xFF;
// The number field holds 10 bytes, 20 digits.
constexpr unsigned kNumberBytes = 10;
// READ RECORD names its record in one byte.
constexpr unsigned kMaxRecords = 255;
// GSM 11.11 9.2.1: the status of an EF carries the record length in byte 14.
constexpr std::size_t kEfStatusLength = 15;

// BCD digits of a dialling number; A and B are the keypad's * and #, C to F print nothing.
void AppendDiallingDigit(std::string& line, std::uint8_t nibble) {
    if (nibble <= 9) {
        line += static_cast<char>('0' + nibble);
    } else if (nibble == 0x0A) {
        line += '*';
    } else if (nibble == 0x0B) {
        line += '#';
    }
}

}  // namespace

std::string DiallingNumberLine(unsigned index, unsigned count, std::span<const std::uint8_t> record,
                               unsigned recordLength, bool simTextNames) {
    const auto at = [&](std::size_t i) { return i < record.size() ? record[i] : kUnused; };
    const unsigned alphaLength = recordLength - kDiallingFixedPart;
    std::string line = Format("[%u/%u] ", index, count);
    const auto name = record.first(std::min<std::size_t>(alphaLength, record.size()));
    if (simTextNames) {
        AppendSimText(line, name);
    } else {
        AppendGsmText(line, name);
    }
    const std::uint8_t numberLength = at(alphaLength);  // TON/NPI byte included
    if (numberLength != kUnused) {
        // Without an alpha field byte 0 is the length byte, not a name.
        if (alphaLength > 0 && at(0) != kUnused) {
            line += ": ";
        }
        if ((at(alphaLength + 1) & 0x70) == 0x10) {  // type of number: international
            line += '+';
        }
        // A length beyond the field cannot be followed: the field's 10 bytes at most.
        const unsigned digitBytes =
            numberLength == 0 ? 0 : std::min<unsigned>(numberLength - 1u, kNumberBytes);
        for (unsigned i = 0; i < digitBytes; ++i) {
            const std::uint8_t byte = at(alphaLength + 2 + i);
            AppendDiallingDigit(line, byte & 0x0F);
            AppendDiallingDigit(line, static_cast<std::uint8_t>(byte >> 4));
        }
        if (at(recordLength - 1) != kUnused) {  // the number goes on in an extension record
            line += "...";
        }
    }
    line += "\r\n";
    return line;
}

int ListDiallingNumbers(ReportAndPrompt& pane, const CardConnection& card, std::uint16_t fileId,
                        std::string_view title) {
    ApduResponse response;
    const auto selectFile = Select(fileId);
    if (SendInOrder(pane, card, SendPci::T0, {kSelectMf, kSelectDfTelecom, selectFile}, response) ==
        0) {
        return 0;
    }
    std::string heading = "\r\n";
    heading += title;
    heading += "\r\n";
    AppendReport(pane.report, heading);

    // A status without a record length, or one too short for the fixed part, leaves no
    // record that could be read or laid out.
    const unsigned recordLength = response.DataAt(14);
    if (response.DataLength() < kEfStatusLength || recordLength < kDiallingFixedPart) {
        AppendReport(pane.report, "nicht ermittelbar\r\n");
        return 0;
    }
    const unsigned fileSize = response.DataAt(2) * 256u + response.DataAt(3);
    const unsigned count = fileSize / recordLength;
    const unsigned listed = std::min(count, kMaxRecords);
    for (unsigned i = 1; i <= listed; ++i) {
        const auto readRecord =
            ReadRecord(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(recordLength));
        if (SendCommand(pane, card, SendPci::T0, readRecord, response) == 0) {
            return 0;
        }
        // Offsets come from the file's record length, whatever length the answer had; what
        // the card did not send counts as unused.
        AppendReport(pane.report, DiallingNumberLine(i, count, response.Data(), recordLength));
    }
    return 1;
}

int ReadAbbreviatedDiallingNumbers(ReportAndPrompt& pane, const CardConnection& card) {
    return ListDiallingNumbers(pane, card, 0x6F3A, "Kurzrufnummern...");
}

int ReadFixedDiallingNumbers(ReportAndPrompt& pane, const CardConnection& card) {
    return ListDiallingNumbers(pane, card, 0x6F3B, "Festrufnummern...");
}

int ReadOwnNumbers(ReportAndPrompt& pane, const CardConnection& card) {
    return ListDiallingNumbers(pane, card, 0x6F40, "Rufnummer der Mobilstation...");
}

int ReadLastNumbersDialled(ReportAndPrompt& pane, const CardConnection& card) {
    return ListDiallingNumbers(pane, card, 0x6F44, "Zuletzt gewählte Rufnummer...");
}

}  // namespace zebrik
