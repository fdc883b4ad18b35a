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

// Service n is allocated at bit 2((n-1) mod 4) of table byte (n-1) div 4 and activated one
// bit higher: bits 2(n-1) and 2n-1 counted across the two words.
bool TableBit(std::uint32_t firstWord, std::uint32_t secondWord, unsigned position) {
    const std::uint32_t word = position < 32 ? firstWord : secondWord;
    return ((word >> (position % 32)) & 1u) != 0;
}
bool Allocated(std::uint32_t firstWord, std::uint32_t secondWord, unsigned service) {
    return TableBit(firstWord, secondWord, 2 * (service - 1));
}
bool Activated(std::uint32_t firstWord, std::uint32_t secondWord, unsigned service) {
    return TableBit(firstWord, secondWord, 2 * service - 1);
}

struct ServiceLine {
    const char* text;
    unsigned service;
    std::uint32_t shownAboveReceived;  // received length, status word included
};

constexpr std::array<ServiceLine, 7> kServiceLines = {{
    {"PIN-Deaktivierung", 1, 0},  // CHV1 disable
    {"Kurzrufnummern", kServiceAbbreviatedDialling, 0},
    {"Festrufnummern", kServiceFixedDialling, 0},
    {"Kurznachrichten", 4, 0},  // SMS
    {"Nummern der Mobilstation", kServiceOwnNumbers, 4},
    {"Zuletzt gewählte Nummer", kServiceLastNumberDialled, 4},
    {"Name des Diensteanbieters", kServiceProviderName, 6},
}};

}  // namespace

bool SimServiceAvailable(std::uint32_t firstWord, std::uint32_t secondWord, unsigned service) {
    return Allocated(firstWord, secondWord, service) && Activated(firstWord, secondWord, service);
}

int ReadSimServiceTable(ReportAndPrompt& pane, const CardConnection& card, std::uint32_t* firstWord,
                        std::uint32_t* secondWord) {
    ApduResponse response;
    if (SendInOrder(pane, card, SendPci::T0,
                    {kSelectMf, kSelectDfGsm, kSelectEfPhase, kReadBinaryPhase}, response) == 0) {
        return 0;
    }
    // A phase file without data reads as phase 1: the shortest table is asked for.
    const std::uint8_t phase = response.DataLength() > 0 ? response.Data()[0] : 0x00;
    const auto readTable = ReadBinary(ServiceTableLength(phase));
    if (SendInOrder(pane, card, SendPci::T0, {kSelectEfSst, readTable}, response) == 0) {
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
        std::string line = service.text;
        line += Allocated(first, second, service.service) ? " unterstützt" : " nicht unterstützt";
        line += Activated(first, second, service.service) ? " und aktiviert\r\n"
                                                          : " und deaktiviert\r\n";
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
