// The SIM service table, EF SST (GSM 11.11 10.3.7): which services the SIM offers.
#include <array>
#include <string>

#include "core/cards/sim/sim.h"
#include "core/cards/sim/sim_commands.h"

namespace zebrik {

using namespace sim_commands;

namespace {

// EF SST grows with the phase: phase 1 knows 8 services, phase 2 16, phase 2+ more.
std::uint8_t ServiceTableLength(std::uint8_t phase) {
    if (phase >= 0x03) {
        return 5;
    }
    if (phase == 0x02) {
        return 4;
    }
    return 2;
}

// Four table bytes from `first` on, the lower-numbered byte in the lower bits. A byte the
// card did not return counts as 00.
std::uint32_t ServiceWord(std::span<const std::uint8_t> table, std::size_t first) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t at = first + i;
        const std::uint32_t byte = at < table.size() ? table[at] : 0;
        word |= byte << (8 * i);
    }
    return word;
}

struct ServiceLine {
    const char* text;
    std::size_t tableByte;
    std::uint8_t allocatedBit;
    std::uint8_t activatedBit;
    std::uint32_t shownAboveReceived;  // received length, status word included
};

// Service n: allocated at bit 2((n-1) mod 4) of byte (n-1) div 4, activated one bit higher.
constexpr std::array<ServiceLine, 7> kServiceLines = {{
    {"PIN-Deaktivierung", 0, 0x01, 0x02, 0},          // service 1, CHV1 disable
    {"Kurzrufnummern", 0, 0x04, 0x08, 0},             // service 2, ADN
    {"Festrufnummern", 0, 0x10, 0x20, 0},             // service 3, FDN
    {"Kurznachrichten", 0, 0x40, 0x80, 0},            // service 4, SMS
    {"Nummern der Mobilstation", 2, 0x01, 0x02, 4},   // service 9, MSISDN
    {"Zuletzt gewählte Nummer", 3, 0x01, 0x02, 4},    // service 13, LND
    {"Name des Diensteanbieters", 4, 0x01, 0x02, 6},  // service 17, SPN
}};

}  // namespace

int ReadSimServiceTable(ReportPane& pane, const CardConnection& card, std::uint32_t* firstWord,
                        std::uint32_t* secondWord) {
    ApduResponse response;
    if (SendInTurn(pane, card, {kSelectMf, kSelectDfGsm, kSelectEfPhase, kReadBinaryPhase},
                   response) == 0) {
        return 0;
    }
    // A phase file without data reads as phase 1: the shortest table is asked for.
    const std::uint8_t phase = response.DataLength() > 0 ? response.Data()[0] : 0x00;
    const auto readTable = ReadBinary(ServiceTableLength(phase));
    if (SendInTurn(pane, card, {kSelectEfSst, readTable}, response) == 0) {
        return 0;
    }
    const auto table = response.Data();
    const std::uint32_t first = ServiceWord(table, 0);
    const std::uint32_t second = ServiceWord(table, 4);

    AppendReport(pane.report, "\r\nSIM-Dienste:\r\n");
    for (const ServiceLine& service : kServiceLines) {
        if (response.length <= service.shownAboveReceived) {
            continue;
        }
        const std::uint8_t byte = service.tableByte < table.size() ? table[service.tableByte] : 0;
        std::string line = service.text;
        line += (byte & service.allocatedBit) != 0 ? " unterstützt" : " nicht unterstützt";
        line += (byte & service.activatedBit) != 0 ? " und aktiviert\r\n" : " und deaktiviert\r\n";
        AppendReport(pane.report, line);
    }
    if (firstWord != nullptr) {
        *firstWord = first;
    }
    if (secondWord != nullptr) {
        *secondWord = second;
    }
    return 1;
}

}  // namespace zebrik
