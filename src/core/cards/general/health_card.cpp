#include <array>
#include <string>

#include "core/apdu/iso_commands.h"
#include "core/cards/general/general.h"
#include "core/report/text.h"

// The German electronic health card (eGK): card version, transaction status of the
// insured person's master data (VSD) and the state of the two card-holder PINs.
namespace zebrik {
namespace {

constexpr auto kSelectVersionFile = iso::SelectEf(0x2F, 0x10);
constexpr auto kSelectHealthApplication = iso::SelectByName(kHealthApplicationAid);
// READ BINARY of EF.StatusVD by its short file identifier 0C, from offset 0.
constexpr std::array<std::uint8_t, 5> kReadStatusFile = {0x00, 0xB0, 0x8C, 0x00, 0x00};
// VERIFY without PIN data only asks for the PIN's state; it counts no attempt.
struct PinQuery {
    std::array<std::uint8_t, 4> command;
    const char* heading;
};
constexpr std::array<PinQuery, 2> kPinQueries = {{
    {{0x80, 0x20, 0x00, 0x01}, "\r\nStatus der Praxis-PIN:\r\n"},
    {{0x80, 0x20, 0x00, 0x02}, "\r\nStatus der Privat-PIN:\r\n"},
}};

constexpr std::array<const char*, 4> kVersionLabels = {
    "Elektrische Schnittstelle: ", "Anwendungsspezifische Strukturen: ", "Speicherstrukturen: ",
    "Reserviert: "};

constexpr StatusWord kApplicationDeactivated = 0x6283;
constexpr StatusWord kMobileTerminalNotAuthorised = 0x6900;

constexpr std::size_t kVersionLength = 5;

// The last update is stored as YYYYMMDD and hhmmss from byte 1 on and shown as
// DD.MM.YYYY hh:mm:ss: each part with the separator in front of it.
struct DatePart {
    std::size_t offset;
    std::size_t length;
    const char* before;
};
constexpr std::array<DatePart, 6> kUpdatedParts = {{
    {7, 2, ""},
    {5, 2, "."},
    {1, 4, "."},
    {9, 2, " "},
    {11, 2, ":"},
    {13, 2, ":"},
}};
constexpr std::size_t kStatusFileLength = 25;

// A 40-bit version number: the first 12 bits, the next 12 bits, the last 16 bits.
std::string VersionText(std::span<const std::uint8_t, kVersionLength> bytes) {
    const unsigned first = bytes[0] * 16u + (bytes[1] >> 4);
    const unsigned second = (bytes[1] & 0x0Fu) * 256u + bytes[2];
    const unsigned third = bytes[3] * 256u + bytes[4];
    return Format("%X.%X.%X\r\n", first, second, third);
}

// The refusals of the health application that have a meaning of their own; the line
// stands instead of the command exchange's general one.
bool ReportHealthApplicationRefusal(ReportAndPrompt& pane, const StatusWordTakeover& takeover) {
    if (!takeover.takenOver) {
        return false;
    }
    if (takeover.statusWord == kApplicationDeactivated) {
        AppendReport(pane.report,
                     "\r\nDie Gesundheitsanwendung ist logisch oder physikalisch deaktiviert\r\n");
    } else {
        AppendReport(pane.report, "\r\nMobiles Kartenterminal: Autorisierung fehlt\r\n");
    }
    return true;
}

void ReportStatusFile(ReportAndPrompt& pane, std::span<const std::uint8_t> file) {
    std::string status = "Status: ";
    AppendCardChar(status, file[0]);
    if (file[0] == '0') {
        status += " (keine Transaktionen offen)";
    } else if (file[0] == '1') {
        status += " (Transaktionen offen)";
    }
    status += "\r\n";
    AppendReport(pane.report, status);

    std::string updated = "Letzte Aktualisierung: ";
    for (const DatePart& part : kUpdatedParts) {
        updated += part.before;
        AppendCardText(updated, file.subspan(part.offset, part.length));
    }
    updated += "\r\n";
    AppendReport(pane.report, updated);

    AppendReport(pane.report,
                 "Version der VSD-Struktur: " + VersionText(file.subspan<15, kVersionLength>()));
    std::string reserved = "Reserviert: ";
    AppendHexBytes(reserved, file.subspan(20, 5));
    reserved += "\r\n";
    AppendReport(pane.report, reserved);
}

const char* TransportPinKind(std::uint8_t kind) {
    switch (kind) {
        case 0x1:
            return " (Zufallszahl)";
        case 0x2:
            return " (abgeleitet)";
        case 0x4:
            return " (Leer-PIN 2)";
        case 0x5:
            return " (fester Wert)";
        case 0x7:
            return " (Leer-PIN 1)";
        case 0xF:
            return " (PIN 7391)";
        default:
            return "";
    }
}

}  // namespace

int ReadCardVersion(ReportAndPrompt& pane, const CardConnection& card) {
    ApduResponse response;
    if (SendCommand(pane, card, SendPci::T1, iso::kSelectMf, response) == 0 ||
        SendCommand(pane, card, SendPci::T1, kSelectVersionFile, response) == 0) {
        return 0;
    }
    AppendReport(pane.report, "\r\nVersion der Chipkarte...\r\n");
    for (std::size_t n = 1; n <= kVersionLabels.size(); ++n) {
        if (SendCommand(pane, card, SendPci::T1,
                        iso::ReadRecord(static_cast<std::uint8_t>(n), iso::kWholeRecord),
                        response) == 0) {
            break;
        }
        const auto record = response.Data();
        std::string line = kVersionLabels[n - 1];
        line += record.size() >= kVersionLength ? VersionText(record.first<kVersionLength>())
                                                : "nicht ermittelbar\r\n";
        AppendReport(pane.report, line);
    }
    return 1;
}

int ReadInsuredDataStatus(ReportAndPrompt& pane, const CardConnection& card) {
    ApduResponse response;
    if (SendCommand(pane, card, SendPci::T1, iso::kSelectMf, response) == 0) {
        return 0;
    }
    const std::array<StatusWord, 2> selectRefusals = {kApplicationDeactivated,
                                                      kMobileTerminalNotAuthorised};
    StatusWordTakeover selectTakeover{selectRefusals};
    if (SendCommand(pane, card, SendPci::T1, kSelectHealthApplication, response, &selectTakeover) ==
        0) {
        return ReportHealthApplicationRefusal(pane, selectTakeover) ? 1 : 0;
    }
    const std::array<StatusWord, 1> readRefusals = {kMobileTerminalNotAuthorised};
    StatusWordTakeover readTakeover{readRefusals};
    if (SendCommand(pane, card, SendPci::T1, kReadStatusFile, response, &readTakeover) == 0) {
        return ReportHealthApplicationRefusal(pane, readTakeover) ? 1 : 0;
    }
    AppendReport(pane.report, "\r\nTransaktionsstatus der Versichertenstammdaten...\r\n");
    const auto file = response.Data();
    if (file.size() < kStatusFileLength) {
        AppendReport(pane.report, "nicht ermittelbar\r\n");
        return 1;
    }
    ReportStatusFile(pane, file);
    return 1;
}

int ReportPinStatus(ReportAndPrompt& pane, std::uint8_t sw1, std::uint8_t sw2) {
    const bool counter = (sw2 & 0xF0) == 0xC0;
    const std::uint8_t x = sw2 & 0x0F;
    if (sw1 == 0x90 && sw2 == 0x00) {
        AppendReport(pane.report, "Verifikation nicht erforderlich\r\n");
        return 1;
    }
    if (sw1 == 0x63 && counter) {
        AppendReport(pane.report,
                     Format("Echt-PIN, Fehlbedienungszähler: %u Versuche verbleibend\r\n",
                            static_cast<unsigned>(x)));
        return 1;
    }
    if (sw1 == 0x62 && counter) {
        AppendReport(pane.report, std::string("Transport-PIN") + TransportPinKind(x) + "\r\n");
        return 1;
    }
    if (sw1 == 0x6A && sw2 == 0x88) {
        AppendReport(pane.report, "Das adressierte Passwort wurde nicht gefunden\r\n");
        return 0;
    }
    if (sw1 == 0x69 && sw2 == 0x82) {
        AppendReport(pane.report, "Zugriffsregel nicht erfüllt\r\n");
        return 0;
    }
    return 0;
}

int ReadHealthPinStatus(ReportAndPrompt& pane, const CardConnection& card) {
    ApduResponse response;
    if (SendCommand(pane, card, SendPci::T1, iso::kSelectMf, response) == 0) {
        return 0;
    }
    int known = 0;
    for (const PinQuery& query : kPinQueries) {
        // The query goes straight to the resource manager: through the command exchange a
        // refusal would be reported as a failure and 98 04 would open a PIN prompt. An
        // answer without a status word reads as 00 00, a state that is not interpreted.
        const std::optional<StatusWord> sw =
            SendForStatusWord(pane, card, SendPci::T1, query.command);
        if (!sw) {
            return 0;
        }
        AppendReport(pane.report, query.heading);
        known |= ReportPinStatus(pane, Sw1(*sw), Sw2(*sw));
    }
    return known;
}

}  // namespace zebrik
