#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/resource_manager.h"

// The simulated card kit: a card is a description (ATR, protocol, file tree, PIN state,
// scripted answers), and SimCard answers command APDUs from it as an ISO 7816-4 card or,
// for class A0, as a GSM 11.11 SIM would; a UICC answers class 00 as ETSI TS 102 221 says.
namespace zebrik::sim {

using Bytes = std::vector<std::uint8_t>;

// "3B 02 14 50" or "3B021450" to bytes; anything but hex digits and blanks is a mistake
// in a card description and aborts.
Bytes Hex(std::string_view text);

// Text as a card file keeps it: one byte per character as written (ASCII, or the bytes of
// a code page written with \x escapes).
Bytes Ascii(std::string_view text);

// The parts one after the other, for card files built from fields.
Bytes Concat(std::initializer_list<Bytes> parts);

// A name in the GSM default alphabet, one code a character (3GPP TS 23.038); a character
// outside it throws std::invalid_argument.
Bytes GsmText(std::string_view utf8);

// The number part of a dialling-number record (GSM 11.11 10.5.1): length, TON/NPI (91 for
// "+", else 81), swapped-nibble digits (0-9 * #) padded with FF to ten bytes; digits beyond
// 20 are left to an extension record. Another character throws std::invalid_argument.
Bytes DiallingNumber(std::string_view number);

// A dialling-number record of `recordLength` bytes: the name, coded already, padded with FF,
// the number part, capability identifier FF and the extension identifier.
Bytes DiallingRecord(Bytes name, std::string_view number, std::size_t recordLength,
                     std::uint8_t extension = 0xFF);

// EF SPN: the display condition, then the name padded with FF to 16 bytes.
Bytes ServiceProviderName(std::uint8_t displayCondition, Bytes name);

enum class FileKind { Master, Dedicated, Transparent, LinearFixed, Cyclic };

// Who may read a file. A GSM SIM answers 98 04 to a read of a Chv1 file before VERIFY.
enum class Access { Always, Chv1, Never };

struct SimFile {
    std::uint16_t id = 0;
    FileKind kind = FileKind::Transparent;
    std::uint8_t shortId = 0;       // short EF identifier for READ BINARY / READ RECORD; 0 = none
    Bytes aid;                      // DF name, for SELECT by name (P1 04)
    Bytes content;                  // transparent EF
    std::vector<Bytes> records;     // record EF
    std::vector<SimFile> children;  // MF and DFs
    Access read = Access::Always;
    // Answer data of a SELECT that asks for it, instead of the generated FCP or GSM status
    // (for malformed statuses in tests).
    std::optional<Bytes> selectResponse;
    // A status word that SELECT of this file answers instead of selecting it (e.g. 62 83).
    std::optional<std::uint16_t> selectStatus;
};

SimFile MasterFile(std::vector<SimFile> children);
SimFile DedicatedFile(std::uint16_t id, std::vector<SimFile> children, Bytes aid = {});
SimFile TransparentFile(std::uint16_t id, Bytes content, Access read = Access::Always);
SimFile RecordFile(std::uint16_t id, std::vector<Bytes> records, Access read = Access::Always);

// A card-holder verification code of a GSM SIM.
struct Chv {
    bool initialised = true;
    Bytes code;  // 8 bytes, FF-padded, as VERIFY carries it
    std::uint8_t attempts = 3;
    std::uint8_t maxAttempts = 3;
    Bytes unblockCode;  // 8 bytes, FF-padded
    std::uint8_t unblockAttempts = 10;
    std::uint8_t maxUnblockAttempts = 10;
};

// Pads a typed code with FF to the 8 bytes of a CHV field.
Bytes ChvCode(std::string_view digits);

// An exact command and the response it gets, tried before the file system. `times` < 0
// answers every time; otherwise the answer is used that many times.
struct ScriptedAnswer {
    Bytes command;
    Bytes response;
    int times = -1;
};

struct CardDescription {
    std::string name;   // catalogue name, e.g. "geldkarte"
    std::string title;  // one line for people, e.g. "Geldkarte mit HBCI"
    Bytes atr;
    std::uint32_t protocol = kProtocolT1;
    std::vector<std::uint8_t> classes{0x00};  // CLA bytes answered; others get 6E 00
    SimFile mf = MasterFile({});
    // GSM: whether the PIN query (CHV1) is on; off means CHV1 files read freely. On a UICC
    // the same for PIN1 (key references 01 to 08 and the universal PIN 11).
    bool chv1Enabled = false;
    // A UICC (TS 102 221): SELECT answers FCPs with record sizes, life cycle and the PIN
    // status template; chv1 stands for PIN1, chv2 for PIN2 (key references 81 to 88).
    bool uicc = false;
    Chv chv1;
    Chv chv2;
    std::vector<ScriptedAnswer> scripted;
};

class SimCard {
public:
    explicit SimCard(CardDescription description);
    // The current-file pointers point into the description.
    SimCard(const SimCard&) = delete;
    SimCard& operator=(const SimCard&) = delete;

    // Answers one command APDU; the response ends in SW1 SW2. Every command is logged.
    Bytes Process(std::span<const std::uint8_t> command);
    // A reset: the MF is current again and CHV1 is no longer verified.
    void Reset();

    const CardDescription& Description() const { return description_; }
    const std::vector<Bytes>& CommandLog() const { return log_; }
    void ClearLog() { log_.clear(); }
    bool Chv1Verified() const { return chv1Verified_; }
    const Chv& Chv1() const { return description_.chv1; }

private:
    Bytes Answer(std::span<const std::uint8_t> command);
    Bytes Select(std::span<const std::uint8_t> command, bool gsm);
    Bytes ReadBinary(std::span<const std::uint8_t> command, bool gsm);
    Bytes ReadRecord(std::span<const std::uint8_t> command, bool gsm);
    Bytes GetResponse(std::span<const std::uint8_t> command, bool gsm);
    Bytes Verify(std::span<const std::uint8_t> command);
    Bytes Unblock(std::span<const std::uint8_t> command);
    Bytes IsoVerify(std::span<const std::uint8_t> command);
    Bytes IsoUnblock(std::span<const std::uint8_t> command);
    Chv* KeyOf(std::uint8_t keyReference);
    const SimFile* FindPath(std::span<const std::uint8_t> path) const;
    Bytes UiccFcp(const SimFile& file) const;
    Bytes WithData(Bytes data, std::uint8_t le, bool gsm, bool partialAllowed);
    Bytes Status(std::uint16_t sw) const;
    const SimFile* FindChild(const SimFile& df, std::uint16_t id) const;
    const SimFile* ParentOf(const SimFile& file) const;
    const SimFile* FindByAid(const SimFile& df, std::span<const std::uint8_t> aid) const;
    const SimFile* FindShortId(std::uint8_t shortId) const;
    Bytes GsmStatus(const SimFile& file) const;
    Bytes IsoFcp(const SimFile& file) const;
    bool ReadAllowed(const SimFile& file) const;
    // The status word that refuses the read, if any; SelectShortId makes the file current.
    std::optional<std::uint16_t> SelectShortId(std::uint8_t shortId, bool gsm);
    std::optional<std::uint16_t> ReadRefusal(bool records, bool gsm) const;

    CardDescription description_;
    const SimFile* currentDf_ = nullptr;
    const SimFile* currentEf_ = nullptr;
    Bytes pending_;  // response data waiting for GET RESPONSE
    bool chv1Verified_ = false;
    std::vector<Bytes> log_;
};

}  // namespace zebrik::sim
