// The USIM application of a UICC that refuses the GSM commands: ETSI TS 102 221 for the
// card (FCP, PIN status template, VERIFY and UNBLOCK PIN), 3GPP TS 31.102 for the files.
#include "core/cards/sim/usim_application.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/apdu/cardholder.h"
#include "core/apdu/iso_commands.h"
#include "core/cards/general/tlv.h"
#include "core/cards/sim/dialling_numbers.h"
#include "core/cards/sim/gsm_alphabet.h"
#include "core/cards/sim/sim.h"
#include "core/report/text.h"

namespace zebrik {
namespace {

constexpr std::size_t kMaxAidLength = 16;
// READ RECORD names its record in one byte.
// A PBR names a handful of ADN files; more than this is no phone book but a hostile card.
constexpr std::size_t kMaxAdnFiles = 32;

// TS 31.102 4.2.8, the services the report names, in its order.
constexpr unsigned kUsimLocalPhonebook = 1;
constexpr unsigned kUsimFixedDialling = 2;
constexpr unsigned kUsimShortMessages = 10;
constexpr unsigned kUsimProviderName = 19;
constexpr unsigned kUsimOwnNumbers = 21;

constexpr std::uint16_t kEfIccid = 0x2FE2;
constexpr std::uint16_t kEfImsi = 0x6F07;
constexpr std::uint16_t kEfUst = 0x6F38;
constexpr std::uint16_t kEfEst = 0x6F56;
constexpr std::uint16_t kEfSpn = 0x6F46;
constexpr std::uint16_t kEfFdn = 0x6F3B;
constexpr std::uint16_t kEfMsisdn = 0x6F40;
constexpr std::uint16_t kDfTelecom = 0x7F10;
constexpr std::uint16_t kDfPhonebook = 0x5F3A;
constexpr std::uint16_t kEfPbr = 0x4F30;
constexpr std::uint16_t kEfAdn = 0x6F3A;

// Stands for the ADF, which is selected by its AID, where a file identifier is named.
constexpr std::uint16_t kAdf = 0;

constexpr std::uint8_t kInsVerify = 0x20;
constexpr std::uint8_t kInsUnblock = 0x2C;

// SELECT by file identifier from the current DF, asking for the FCP (P2 04).
constexpr std::array<std::uint8_t, 7> SelectById(std::uint16_t id) {
    return {0x00,
            0xA4,
            0x00,
            0x04,
            0x02,
            static_cast<std::uint8_t>(id >> 8),
            static_cast<std::uint8_t>(id & 0xFF)};
}
// SELECT by path from the MF (P1 08), a DF and a file in it.
constexpr std::array<std::uint8_t, 9> SelectByPath(std::uint16_t df, std::uint16_t file) {
    return {0x00,
            0xA4,
            0x08,
            0x04,
            0x04,
            static_cast<std::uint8_t>(df >> 8),
            static_cast<std::uint8_t>(df & 0xFF),
            static_cast<std::uint8_t>(file >> 8),
            static_cast<std::uint8_t>(file & 0xFF)};
}

// The FCP template (tag 62) of a SELECT's answer; empty when the answer has none.
std::span<const std::uint8_t> FcpOf(const ApduResponse& response) {
    const auto fcp = ReadBerTlv(response.Data(), 0);
    return fcp && fcp->tag == 0x62 ? fcp->value : std::span<const std::uint8_t>();
}

// A big-endian number of at most four bytes.
std::optional<std::size_t> NumberOf(std::span<const std::uint8_t> value) {
    if (value.empty() || value.size() > 4) {
        return std::nullopt;
    }
    std::size_t number = 0;
    for (const std::uint8_t byte : value) {
        number = number * 256 + byte;
    }
    return number;
}

// The size of a transparent EF, from tag 80.
std::optional<std::size_t> TransparentSize(std::span<const std::uint8_t> fcp) {
    return NumberOf(FindBerTlv(fcp, 0x80).value);
}

struct RecordLayout {
    unsigned length = 0;
    unsigned count = 0;
};

// Record length and count from the file descriptor (tag 82: descriptor byte, coding byte,
// record length in two bytes, count), whatever tag 80 says.
std::optional<RecordLayout> RecordLayoutOf(std::span<const std::uint8_t> fcp) {
    const auto d = FindBerTlv(fcp, 0x82).value;
    if (d.size() < 5) {
        return std::nullopt;
    }
    return RecordLayout{static_cast<unsigned>((d[2] << 8) | d[3]), d[4]};
}

// The PINs of the ADF's PIN status template (tag C6): the PS_DO (tag 90) holds one bit
// for each key reference (tag 83) in their order, from b8 of its first byte on; a usage
// qualifier 95 01 08 in front of the universal PIN 11 makes it stand for PIN1.
struct AdfPins {
    std::optional<std::uint8_t> pin1;
    std::optional<std::uint8_t> pin2;
    std::optional<bool> pin1Enabled;  // none: no PS_DO bit for it
};

bool IsApplicationPin(std::uint8_t ref) {
    return ref >= 0x01 && ref <= 0x08;
}
bool IsSecondPin(std::uint8_t ref) {
    return ref >= 0x81 && ref <= 0x88;
}

AdfPins PinsOf(std::span<const std::uint8_t> fcp) {
    AdfPins pins;
    const auto [hasStatus, status] = FindBerTlv(fcp, 0xC6);
    if (!hasStatus) {
        return pins;
    }
    const auto psDo = FindBerTlv(status, 0x90).value;
    const auto bitOf = [&psDo](std::size_t index) -> std::optional<bool> {
        if (index / 8 >= psDo.size()) {
            return std::nullopt;
        }
        return (psDo[index / 8] & (0x80 >> (index % 8))) != 0;
    };
    std::optional<std::uint8_t> applicationPin;
    std::optional<bool> applicationPinEnabled;
    std::optional<bool> universalEnabled;
    bool universalUsage = false;
    bool universal = false;
    std::size_t index = 0;
    for (auto element = ReadBerTlv(status, 0); element;
         element = ReadBerTlv(status, element->end)) {
        if (element->tag == 0x95) {
            universalUsage = element->value.size() == 1 && element->value[0] == 0x08;
            continue;
        }
        if (element->tag != 0x83) {
            continue;
        }
        // Every key reference has its bit, also one the report ignores.
        const auto enabled = bitOf(index++);
        const bool qualified = universalUsage;
        universalUsage = false;
        if (element->value.size() != 1) {
            continue;
        }
        const std::uint8_t ref = element->value[0];
        if (ref == 0x11 && qualified && !universal) {
            universal = true;
            universalEnabled = enabled;
        } else if (IsApplicationPin(ref) && !applicationPin) {
            applicationPin = ref;
            applicationPinEnabled = enabled;
        } else if (IsSecondPin(ref) && !pins.pin2) {
            pins.pin2 = ref;
        }
    }
    if (universal) {
        pins.pin1 = 0x11;
        pins.pin1Enabled = universalEnabled;
    } else {
        pins.pin1 = applicationPin;
        pins.pin1Enabled = applicationPinEnabled;
    }
    return pins;
}

// What the status queries found out about one PIN.
struct PinCounts {
    std::optional<unsigned> pin;
    std::optional<unsigned> puk;
    bool verified = false;  // VERIFY without data answered 90 00
};

class UsimReader {
public:
    UsimReader(ReportAndPrompt& pane, const CardConnection& card, std::span<const std::uint8_t> aid)
        : pane_(pane), card_(card), aid_(aid) {}

    void Write(const std::string& text) { AppendReport(pane_.report, text); }

    // SELECT through the exchange. 62 83, or a life cycle of 04 or 06 (deactivated) in the
    // FCP, writes the deactivated line instead of the exchange's message.
    bool Select(std::span<const std::uint8_t> command, std::uint16_t fileId,
                ApduResponse& response) {
        static constexpr std::array<StatusWord, 1> kDeactivated = {0x6283};
        StatusWordTakeover takeover{kDeactivated};
        if (SendCommand(pane_, card_, SendPci::T0, command, response, &takeover) == 0) {
            if (takeover.takenOver) {
                WriteDeactivated(fileId);
            }
            return false;
        }
        const auto lifeCycle = FindBerTlv(FcpOf(response), 0x8A).value;
        if (lifeCycle.size() == 1 && (lifeCycle[0] == 0x04 || lifeCycle[0] == 0x06)) {
            WriteDeactivated(fileId);
            return false;
        }
        return true;
    }

    bool SelectAdf(ApduResponse& response) {
        std::array<std::uint8_t, 5 + kMaxAidLength> command = {
            0x00, 0xA4, 0x04, 0x04, static_cast<std::uint8_t>(aid_.size())};
        std::copy(aid_.begin(), aid_.end(), command.begin() + 5);
        adfCurrent_ = Select(std::span(command).first(5 + aid_.size()), kAdf, response);
        return adfCurrent_;
    }

    // Selects a file of the ADF, the ADF first when a SELECT outside it came in between.
    bool SelectInAdf(std::uint16_t fileId, ApduResponse& response) {
        if (!adfCurrent_ && !SelectAdf(response)) {
            return false;
        }
        return Select(SelectById(fileId), fileId, response);
    }

    // A SELECT that leaves the ADF as the current DF.
    void LeaveAdf() { adfCurrent_ = false; }

    // Reads a transparent EF of the ADF in the size its FCP gives.
    bool ReadAdfBinary(std::uint16_t fileId, ApduResponse& response) {
        return SelectInAdf(fileId, response) && ReadSelectedBinary(fileId, response);
    }

    bool ReadSelectedBinary(std::uint16_t fileId, ApduResponse& response) {
        const auto size = TransparentSize(FcpOf(response));
        if (!size || *size == 0) {
            WriteNoSize(fileId);
            return false;
        }
        // Le 00 asks for 256 bytes, all one READ BINARY gives.
        const auto le = static_cast<std::uint8_t>(std::min<std::size_t>(*size, 256) & 0xFF);
        return SendCommand(pane_, card_, SendPci::T0, iso::ReadBinary(le), response) != 0;
    }

    // Reads the records of the selected EF into `records` as the FCP sizes them (its one
    // count byte allows 255 at most); the layout, or none when the FCP gives no usable size.
    std::optional<RecordLayout> ReadSelectedRecords(
        std::uint16_t fileId, const ApduResponse& selected, unsigned minimumLength,
        std::vector<std::vector<std::uint8_t>>& records) {
        const auto layout = RecordLayoutOf(FcpOf(selected));
        if (!layout || layout->length < minimumLength || layout->length > 255) {
            WriteNoSize(fileId);
            return std::nullopt;
        }
        ApduResponse response;
        for (unsigned i = 1; i <= layout->count; ++i) {
            const auto command = iso::ReadRecord(static_cast<std::uint8_t>(i),
                                                 static_cast<std::uint8_t>(layout->length));
            if (SendCommand(pane_, card_, SendPci::T0, command, response) == 0) {
                break;
            }
            const auto data = response.Data();
            records.emplace_back(data.begin(), data.end());
        }
        return layout;
    }

    // Tries left for the PIN and its PUK, asked without data (TS 102 221 11.1.9, 11.1.13).
    PinCounts CountsOf(std::uint8_t keyReference) {
        PinCounts counts;
        counts.pin = TriesLeft(kInsVerify, keyReference, counts.verified);
        bool unused = false;
        counts.puk = TriesLeft(kInsUnblock, keyReference, unused);
        return counts;
    }

    // Asks the card holder and sends VERIFY or UNBLOCK PIN; false ends the block.
    bool Open(ChvCommand command, std::uint8_t keyReference) {
        const ChvRules rules = {.answerRoom = kResponseCapacity,
                                .ninetyOneAccepts = false,
                                .emptyEntryCancels = true,
                                .keyReference = keyReference};
        const PromptResult result = AskCardHolder(pane_, card_, SendPci::T0, command, rules);
        if (result.outcome == PromptOutcome::Accepted) {
            return true;
        }
        if (result.outcome == PromptOutcome::StatusWord) {
            const StatusWord sw = result.statusWord;
            const bool refused = Sw1(sw) == 0x63 || sw == 0x6983;
            Write(Format(refused ? "Authentisierung fehlgeschlagen: '%02X %02X'.\r\n"
                                 : "Unerwartete Antwort der Chipkarte: '%02X %02X'\r\n",
                         Sw1(sw), Sw2(sw)));
        }
        return false;
    }

private:
    void WriteDeactivated(std::uint16_t fileId) {
        Write(fileId == kAdf
                  ? std::string("\r\nDie USIM-Anwendung ist deaktiviert.\r\n")
                  : Format("\r\nDatei '%04X' ist deaktiviert.\r\n", static_cast<unsigned>(fileId)));
    }
    void WriteNoSize(std::uint16_t fileId) {
        Write(Format("\r\nDatei '%04X': Größe nicht ermittelbar.\r\n",
                     static_cast<unsigned>(fileId)));
    }

    std::optional<unsigned> TriesLeft(std::uint8_t ins, std::uint8_t keyReference, bool& verified) {
        static constexpr std::array<StatusWord, 18> kCounts = {
            0x63C0, 0x63C1, 0x63C2, 0x63C3, 0x63C4, 0x63C5, 0x63C6, 0x63C7, 0x63C8,
            0x63C9, 0x63CA, 0x63CB, 0x63CC, 0x63CD, 0x63CE, 0x63CF, 0x6983, 0x6700};
        StatusWordTakeover takeover{kCounts};
        ApduResponse response;
        const std::array<std::uint8_t, 4> query = {0x00, ins, 0x00, keyReference};
        if (SendCommand(pane_, card_, SendPci::T0, query, response, &takeover) != 0) {
            verified = true;
            return std::nullopt;
        }
        if (!takeover.takenOver) {
            return std::nullopt;  // the exchange has said why
        }
        StatusWord sw = takeover.statusWord;
        if (sw == 0x6700) {
            // The five-byte form goes straight to the card: through the exchange a 6C xx
            // would bring it back with a length and no data.
            const std::array<std::uint8_t, 5> five = {0x00, ins, 0x00, keyReference, 0x00};
            const auto answer = SendForStatusWord(pane_, card_, SendPci::T0, five);
            if (!answer) {
                return std::nullopt;
            }
            sw = *answer;
            if (sw == 0x9000) {
                verified = true;
                return std::nullopt;
            }
        }
        if (Sw1(sw) == 0x63 && (Sw2(sw) & 0xF0) == 0xC0) {
            return Sw2(sw) & 0x0F;
        }
        if (sw == 0x6983) {
            return 0;
        }
        return std::nullopt;
    }

    ReportAndPrompt& pane_;
    const CardConnection& card_;
    std::span<const std::uint8_t> aid_;
    bool adfCurrent_ = false;
};

bool ServiceAvailable(std::span<const std::uint8_t> ust, unsigned service) {
    const std::size_t byte = (service - 1) / 8;
    return byte < ust.size() && (ust[byte] & (1u << ((service - 1) % 8))) != 0;
}

void WriteIccid(UsimReader& reader, ReportAndPrompt& pane, const CardConnection& card) {
    ApduResponse response;
    static constexpr std::array<std::uint8_t, 5> kReadIccid = iso::ReadBinary(0x0A);
    if (!reader.Select(SelectById(kEfIccid), kEfIccid, response) ||
        SendCommand(pane, card, SendPci::T0, kReadIccid, response) == 0) {
        return;
    }
    reader.Write(IccidLine(response.Data()));
}

void WriteCounts(UsimReader& reader, const PinCounts& pin1, const PinCounts& pin2) {
    const std::pair<const char*, std::optional<unsigned>> lines[] = {
        {"PIN1", pin1.pin}, {"PUK1", pin1.puk}, {"PIN2", pin2.pin}, {"PUK2", pin2.puk}};
    std::string block;
    for (const auto& [code, count] : lines) {
        if (count) {
            block += Format("%s: %02u Versuche verbleibend\r\n", code, *count);
        }
    }
    if (!block.empty()) {
        reader.Write("\r\nFehlbedienungszähler:\r\n");
        reader.Write(block);
    }
}

// The PIN state, the counters and, where PIN1 guards the files, the prompt. False ends the
// block: a refusal, a cancel, or PIN1 and its PUK both used up.
bool CheckUsimCardholder(UsimReader& reader, const AdfPins& pins) {
    if (pins.pin1Enabled) {
        reader.Write(std::string("\r\nPIN-Abfrage ist ") +
                     (*pins.pin1Enabled ? "eingeschaltet\r\n" : "ausgeschaltet\r\n"));
    }
    const PinCounts pin1 = pins.pin1 ? reader.CountsOf(*pins.pin1) : PinCounts{};
    const PinCounts pin2 = pins.pin2 ? reader.CountsOf(*pins.pin2) : PinCounts{};
    WriteCounts(reader, pin1, pin2);
    if (!pins.pin1 || !pins.pin1Enabled.value_or(false) || pin1.verified || !pin1.pin) {
        return true;  // nothing to present, or nothing known to decide by
    }
    if (*pin1.pin > 0) {
        return reader.Open(ChvCommand::Verify, *pins.pin1);
    }
    if (pin1.puk.value_or(0) > 0) {
        return reader.Open(ChvCommand::Unblock, *pins.pin1);
    }
    return false;
}

void WriteServices(UsimReader& reader, std::span<const std::uint8_t> ust) {
    const std::pair<const char*, unsigned> services[] = {
        {"Lokales Telefonbuch", kUsimLocalPhonebook},
        {"Festrufnummern", kUsimFixedDialling},
        {"Kurznachrichten", kUsimShortMessages},
        {"Name des Diensteanbieters", kUsimProviderName},
        {"Nummern der Mobilstation", kUsimOwnNumbers}};
    reader.Write("\r\nUSIM-Dienste:\r\n");
    for (const auto& [text, service] : services) {
        reader.Write(std::string(text) +
                     (ServiceAvailable(ust, service) ? " verfügbar\r\n" : " nicht verfügbar\r\n"));
    }
}

void WriteProvider(UsimReader& reader) {
    ApduResponse response;
    if (!reader.ReadAdfBinary(kEfSpn, response)) {
        return;
    }
    // Byte 0 is the display condition; the name follows.
    std::string line = "\r\nProvider: ";
    AppendSimText(line, response.DataBytes(1, response.DataLength()));
    reader.Write(line + "\r\n");
}

// Every record of the dialling-number EF just selected, under its title.
void ListSelectedRecords(UsimReader& reader, std::uint16_t fileId, const ApduResponse& selected,
                         const char* title) {
    reader.Write(std::string("\r\n") + title + "\r\n");
    std::vector<std::vector<std::uint8_t>> records;
    const auto layout = reader.ReadSelectedRecords(fileId, selected, kDiallingFixedPart, records);
    for (std::size_t i = 0; layout && i < records.size(); ++i) {
        reader.Write(DiallingNumberLine(static_cast<unsigned>(i + 1), layout->count, records[i],
                                        layout->length, true));
    }
}

void ListAdfRecords(UsimReader& reader, std::uint16_t fileId, const char* title) {
    ApduResponse response;
    if (reader.SelectInAdf(fileId, response)) {
        ListSelectedRecords(reader, fileId, response, title);
    }
}

// The ADN files a PBR record names (TS 31.102 4.4.2.1): tag C0 in a template A8, a file
// identifier and possibly a short file identifier. Other lengths count as unreadable.
void CollectAdnFiles(std::span<const std::uint8_t> record, std::vector<std::uint16_t>& files,
                     unsigned& unreadable) {
    for (auto element = ReadBerTlv(record, 0); element;
         element = ReadBerTlv(record, element->end)) {
        if (element->tag != 0xA8) {
            continue;
        }
        for (auto inner = ReadBerTlv(element->value, 0); inner;
             inner = ReadBerTlv(element->value, inner->end)) {
            if (inner->tag != 0xC0) {
                continue;
            }
            if (inner->value.size() != 2 && inner->value.size() != 3) {
                ++unreadable;
                continue;
            }
            const auto id = static_cast<std::uint16_t>((inner->value[0] << 8) | inner->value[1]);
            if (std::find(files.begin(), files.end(), id) == files.end() &&
                files.size() < kMaxAdnFiles) {
                files.push_back(id);
            }
        }
    }
}

struct DiallingRecord {
    std::vector<std::uint8_t> bytes;
    unsigned length = 0;
};

// A phone book whose DF the selects before this made current: EF.PBR, then every ADN file
// it names. False when no PBR was read.
bool ListPhonebook(UsimReader& reader) {
    ApduResponse response;
    if (!reader.Select(SelectById(kEfPbr), kEfPbr, response)) {
        return false;
    }
    std::vector<std::vector<std::uint8_t>> pbr;
    if (!reader.ReadSelectedRecords(kEfPbr, response, 1, pbr)) {
        return false;
    }
    reader.Write("\r\nKurzrufnummern...\r\n");
    std::vector<std::uint16_t> files;
    unsigned unreadable = 0;
    for (const auto& record : pbr) {
        CollectAdnFiles(record, files, unreadable);
    }
    for (unsigned i = 0; i < unreadable; ++i) {
        reader.Write("nicht ermittelbar\r\n");
    }
    std::vector<DiallingRecord> records;
    unsigned total = 0;
    for (const std::uint16_t id : files) {
        std::vector<std::vector<std::uint8_t>> read;
        if (!reader.Select(SelectById(id), id, response)) {
            continue;
        }
        const auto layout = reader.ReadSelectedRecords(id, response, kDiallingFixedPart, read);
        if (!layout) {
            continue;
        }
        total += layout->count;
        for (auto& bytes : read) {
            records.push_back({std::move(bytes), layout->length});
        }
    }
    // Numbered across all ADN files: the total goes into every line.
    for (std::size_t i = 0; i < records.size(); ++i) {
        reader.Write(DiallingNumberLine(static_cast<unsigned>(i + 1), total, records[i].bytes,
                                        records[i].length, true));
    }
    return true;
}

// DF.TELECOM's EF.ADN, for a card without a PBR.
void ListTelecomAdn(UsimReader& reader) {
    ApduResponse response;
    if (reader.Select(SelectByPath(kDfTelecom, kEfAdn), kEfAdn, response)) {
        ListSelectedRecords(reader, kEfAdn, response, "Kurzrufnummern...");
    }
}

void ListPhonebooks(UsimReader& reader, bool localPhonebook) {
    ApduResponse response;
    reader.LeaveAdf();
    bool pbrRead = reader.Select(SelectByPath(kDfTelecom, kDfPhonebook), kDfPhonebook, response) &&
                   ListPhonebook(reader);
    if (localPhonebook) {
        const bool inLocal = reader.SelectAdf(response) &&
                             reader.Select(SelectById(kDfPhonebook), kDfPhonebook, response);
        reader.LeaveAdf();
        pbrRead = (inLocal && ListPhonebook(reader)) || pbrRead;
    }
    if (!pbrRead) {
        ListTelecomAdn(reader);
    }
}

}  // namespace

int ReadUsimApplication(ReportAndPrompt& pane, const CardConnection& card,
                        std::span<const std::uint8_t, 16> aid, std::size_t aidLength,
                        bool iccidShown) {
    UsimReader reader(pane, card, aid.first(std::min(aidLength, kMaxAidLength)));
    reader.Write("\r\nDie USIM-Anwendung wird ausgelesen...\r\n");
    ApduResponse response;
    static constexpr auto kSelectMf = SelectById(0x3F00);
    if (reader.Select(kSelectMf, 0x3F00, response) && !iccidShown) {
        WriteIccid(reader, pane, card);
    }
    if (aidLength == 0 || aidLength > kMaxAidLength) {
        reader.Write("\r\nUSIM-Anwendung: AID nicht verwendbar.\r\n");
        return 0;
    }
    if (!reader.SelectAdf(response)) {
        return 0;
    }
    if (!CheckUsimCardholder(reader, PinsOf(FcpOf(response)))) {
        return 1;
    }
    if (reader.ReadAdfBinary(kEfImsi, response)) {
        reader.Write(ImsiLine(response.Data()));
    }
    std::vector<std::uint8_t> ust;
    if (reader.ReadAdfBinary(kEfUst, response)) {
        const auto data = response.Data();
        ust.assign(data.begin(), data.end());
        WriteServices(reader, ust);
        if (ServiceAvailable(ust, kUsimFixedDialling) && reader.ReadAdfBinary(kEfEst, response) &&
            response.DataLength() > 0) {
            reader.Write(
                std::string("Festrufnummern-Modus ist ") +
                ((response.DataAt(0) & 0x01) != 0 ? "eingeschaltet\r\n" : "ausgeschaltet\r\n"));
        }
    }
    if (ServiceAvailable(ust, kUsimProviderName)) {
        WriteProvider(reader);
    }
    ListPhonebooks(reader, ServiceAvailable(ust, kUsimLocalPhonebook));
    if (ServiceAvailable(ust, kUsimFixedDialling)) {
        ListAdfRecords(reader, kEfFdn, "Festrufnummern...");
    }
    if (ServiceAvailable(ust, kUsimOwnNumbers)) {
        ListAdfRecords(reader, kEfMsisdn, "Rufnummer der Mobilstation...");
    }
    return 1;
}

}  // namespace zebrik
