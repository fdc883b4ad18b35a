#include "core/analysis/atr_decode.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "core/report/text.h"

namespace zebrik {
namespace {

// Fi and f(max) in kHz by the high nibble of TA1; 0 marks the values left reserved.
constexpr std::array<std::uint16_t, 16> kClockRateConversions = {
    372, 372, 558, 744, 1116, 1488, 1860, 0, 0, 512, 768, 1024, 1536, 2048, 0, 0};
constexpr std::array<std::uint16_t, 16> kMaxClocksKHz = {
    4000, 5000, 6000, 8000, 12000, 16000, 20000, 0, 0, 5000, 7500, 10000, 15000, 20000, 0, 0};
// Di by the low nibble of TA1; 0 marks the values left reserved.
constexpr std::array<std::uint8_t, 16> kBaudRateAdjustments = {0,  1,  2, 4, 8, 16, 32, 64,
                                                               12, 20, 0, 0, 0, 0,  0,  0};

// Fd: the clock cycles of one bit during the ATR, and the base of the block waiting time.
constexpr std::uint32_t kDefaultFi = 372;
// At this clock the default 372 cycles per bit give 9600 bit/s.
constexpr std::uint64_t kReferenceClockHz = 3571200;
constexpr std::size_t kShownSurplusBytes = 16;

constexpr std::string_view kCutShort = "zu kurz für die angekündigten Bytes";

constexpr std::array<std::string_view, 16> kCompactTlvNames = {"",
                                                               "Ländercode",
                                                               "Herausgeberkennung",
                                                               "Kartendienste",
                                                               "Anfangszugriffsdaten",
                                                               "Daten des Kartenherausgebers",
                                                               "Daten vor der Ausgabe",
                                                               "Kartenfähigkeiten",
                                                               "Statusanzeige",
                                                               "",
                                                               "",
                                                               "",
                                                               "",
                                                               "",
                                                               "",
                                                               "Anwendungskennung"};

// The ways of selection in the first byte of the card capabilities, bit 8 first.
constexpr std::array<std::string_view, 5> kDfSelections = {"vollständiger Name", "partieller Name",
                                                           "Pfad", "Dateikennzeichen", "implizit"};
constexpr std::array<std::string_view, 3> kEfReferences = {"kurze Kennzeichen", "Record-Nummer",
                                                           "Record-Kennzeichen"};
// The behaviour of write functions in bits 7 and 6 of the data coding byte.
constexpr std::array<std::string_view, 4> kWriteFunctions = {
    "einmal schreibbar", "herstellereigen", "Schreiben mit ODER", "Schreiben mit UND"};
// Who assigns logical channel numbers, bits 5 and 4 of the third byte.
constexpr std::array<std::string_view, 2> kChannelAssignments = {"durch die Karte",
                                                                 "durch das Lesegerät"};

constexpr std::array<std::string_view, 4> kClockStops = {
    "Takthalt nicht unterstützt", "Takthalt im Zustand L", "Takthalt im Zustand H",
    "Takthalt in L oder H"};
constexpr std::array<std::string_view, 3> kClasses = {"A (5 V)", "B (3 V)", "C (1,8 V)"};

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        AppendHexBytes(text, std::span<const std::uint8_t>(&byte, 1));
    }
    return text;
}

std::string Hex(std::uint8_t byte) {
    return Hex(std::span<const std::uint8_t>(&byte, 1));
}

// numerator / denominator rounded to at most `decimals` places, with a decimal comma and
// without trailing zeros.
std::string Decimal(std::uint64_t numerator, std::uint64_t denominator, unsigned decimals) {
    std::uint64_t scale = 1;
    for (unsigned i = 0; i < decimals; ++i) {
        scale *= 10;
    }
    const std::uint64_t scaled = (2 * numerator * scale + denominator) / (2 * denominator);
    std::string text = Format("%llu", static_cast<unsigned long long>(scaled / scale));
    std::string fraction = Format("%0*llu", static_cast<int>(decimals),
                                  static_cast<unsigned long long>(scaled % scale));
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.pop_back();
    }
    if (!fraction.empty()) {
        text += ',' + fraction;
    }
    return text;
}

std::string Join(std::span<const std::string_view> parts, std::string_view separator = ", ") {
    std::string text;
    for (const std::string_view part : parts) {
        if (!text.empty()) {
            text += separator;
        }
        text += part;
    }
    return text;
}

// The names of the set bits, bit `topBit` naming names[0], downwards.
std::string SetBits(std::uint8_t value, unsigned topBit, std::span<const std::string_view> names) {
    std::vector<std::string_view> set;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if ((value >> (topBit - i)) & 1) {
            set.push_back(names[i]);
        }
    }
    return set.empty() ? "keine" : Join(set);
}

std::string ProtocolName(unsigned protocol) {
    std::string name = Format("T=%u", protocol);
    if (protocol == 15) {
        name += ", globale Angaben";
    } else if (protocol == 14) {
        name += ", nicht genormt";
    } else if (protocol > 1) {
        name += ", reserviert";
    }
    return name;
}

std::string_view LifeCycle(std::uint8_t status) {
    if (status == 0x00) {
        return "keine Angabe";
    }
    if (status == 0x01) {
        return "Erstellung";
    }
    if (status == 0x03) {
        return "Initialisierung";
    }
    if (status >= 0x04 && status <= 0x07) {
        return (status & 1) != 0 ? "operativ, aktiviert" : "operativ, deaktiviert";
    }
    if (status >= 0x0C && status <= 0x0F) {
        return "beendet";
    }
    return status >= 0x10 ? "herstellereigen" : "reserviert";
}

class AtrExplainer {
public:
    AtrExplainer(std::span<const std::uint8_t> atr, std::optional<std::uint32_t> clockKHz)
        : atr_(atr), clockKHz_(clockKHz.value_or(0)) {}

    std::string Explain() {
        if (atr_.empty()) {
            Line("Der ATR ist leer.");
            Fault("leer");
        } else if (ExplainConvention()) {
            ExplainFormat();
        }
        if (next_ > kLongestValidAtr) {
            Fault("länger als 33 Bytes");
        }
        if (!faults_.empty()) {
            Line("Der ATR ist fehlerhaft: " + Join(faults_, "; ") + ".");
        }
        return out_;
    }

private:
    void Line(std::string_view text) {
        out_ += text;
        out_ += "\r\n";
    }

    void Fault(std::string_view reason) {
        if (std::find(faults_.begin(), faults_.end(), reason) == faults_.end()) {
            faults_.push_back(reason);
        }
    }

    std::optional<std::uint8_t> Take() {
        if (next_ >= atr_.size()) {
            return std::nullopt;
        }
        return atr_[next_++];
    }

    bool ExplainConvention() {
        const std::uint8_t ts = atr_[next_++];
        if (ts == 0x3B || ts == 0x3F) {
            Line(Format("TS: %02X (%s Konvention)", ts, ts == 0x3B ? "direkte" : "inverse"));
            return true;
        }
        Line(Format("TS: %02X (keine gültige Konvention; die weiteren Bytes bleiben ungedeutet)",
                    ts));
        Fault("TS ist weder 3B noch 3F");
        return false;
    }

    // T0, the interface bytes, the historical bytes and TCK.
    void ExplainFormat() {
        const auto t0 = Take();
        if (!t0) {
            Line("T0: fehlt");
            Fault(kCutShort);
            return;
        }
        const unsigned historicalCount = *t0 & 0x0F;
        const std::string historical =
            historicalCount == 0   ? std::string("keine historischen Bytes")
            : historicalCount == 1 ? std::string("1 historisches Byte")
                                   : Format("%u historische Bytes", historicalCount);
        Line(Format("T0: %02X (%s; %s)", *t0,
                    Following(*t0 >> 4, 1, "keine Schnittstellenbytes").c_str(),
                    historical.c_str()));
        if (!ExplainInterfaceBytes(*t0 >> 4)) {
            return;
        }
        ExplainProtocols();
        if (!ExplainHistoricalBytes(historicalCount)) {
            return;
        }
        ExplainCheckByte();
        if (next_ < atr_.size()) {
            const auto surplus = atr_.subspan(next_);
            std::string line = "Überzählige Bytes: " +
                               Hex(surplus.first(std::min(surplus.size(), kShownSurplusBytes)));
            if (surplus.size() > kShownSurplusBytes) {
                line += Format(" ... (%zu Bytes)", surplus.size());
            }
            // Some T=0 cards send a check byte though the rule gives none for T=0 alone.
            if (!checkNeeded_ && surplus.size() == 1 && surplus[0] == ExclusiveOrFromT0()) {
                line += " (wäre als TCK richtig)";
            }
            Line(line);
            Fault("überzählige Bytes am Ende");
        }
    }

    static std::string Following(unsigned presence, unsigned round, std::string_view none) {
        std::string text;
        for (unsigned kind = 0; kind < 4; ++kind) {
            if ((presence >> kind) & 1) {
                text += (text.empty() ? "folgt: " : ", ") + Format("T%c%u", "ABCD"[kind], round);
            }
        }
        return text.empty() ? std::string(none) : text;
    }

    // Every round of interface bytes; false when the ATR ends inside them.
    bool ExplainInterfaceBytes(unsigned presence) {
        unsigned protocol = 0;  // the protocol that TD(i-1) named for round i
        for (unsigned round = 1; presence != 0; ++round) {
            std::optional<std::uint8_t> td;
            for (unsigned kind = 0; kind < 4; ++kind) {
                if (((presence >> kind) & 1) == 0) {
                    continue;
                }
                const std::string name = Format("T%c%u", "ABCD"[kind], round);
                // Guards the walk too: a chain of TD bytes ends within the longest ATR.
                if (next_ >= kLongestValidAtr) {
                    Line(name + ": jenseits der 33 Bytes eines ATR");
                    Fault("mehr Schnittstellenbytes, als ein ATR fassen kann");
                    return false;
                }
                const auto value = Take();
                if (!value) {
                    Line(name + ": fehlt");
                    Fault(kCutShort);
                    return false;
                }
                if (kind == 3) {
                    td = value;
                }
                ExplainInterfaceByte(name, kind, round, protocol, *value);
            }
            presence = td ? *td >> 4 : 0;
            protocol = td ? *td & 0x0F : 0;
        }
        return true;
    }

    void ExplainInterfaceByte(const std::string& name, unsigned kind, unsigned round,
                              unsigned protocol, std::uint8_t value) {
        const std::string head = name + ": " + Hex(value) + " (";
        if (kind == 3) {
            ExplainProtocolByte(head, round, protocol, value);
        } else if (round == 1 && kind == 0) {
            ExplainClockRate(head, value);
        } else if (round <= 2 && kind == 1) {
            const bool reservedBit = round == 1 && (value & 0x80) != 0;
            Line(head + ProgrammingVoltage(round, value) +
                 (reservedBit ? "; reserviertes Bit 8 gesetzt" : "") + "; veraltete Angabe)");
        } else if (round == 1) {
            Line(head + GuardTime(value) + ")");
        } else if (round == 2 && kind == 0) {
            ExplainSpecificMode(head, value);
        } else if (round == 2) {
            ExplainWaitingTime(head, value);
        } else if (protocol == 1 && !SeenBefore(protocol, kind)) {
            ExplainBlockProtocolByte(head, kind, value);
        } else if (protocol == 15 && kind < 2 && !SeenBefore(protocol, kind)) {
            Line(head + (kind == 0 ? ClockStopAndClasses(value) : StandbyUse(value)) + ")");
        } else {
            Line(head + Format("für T=%u, nicht ausgewertet)", protocol));
        }
    }

    // False the first time for each protocol and kind of byte: only the first TA, TB and
    // TC of T=1 and T=15 have a meaning of their own.
    bool SeenBefore(unsigned protocol, unsigned kind) {
        const unsigned bit = (protocol == 1 ? 0 : 4) + kind;
        const bool seen = (seenSpecific_ >> bit) & 1;
        seenSpecific_ |= 1u << bit;
        return seen;
    }

    // `previous`: the protocol the TD byte of the round before named.
    void ExplainProtocolByte(const std::string& head, unsigned round, unsigned previous,
                             std::uint8_t td) {
        const unsigned protocol = td & 0x0F;
        std::string text = head + ProtocolName(protocol);
        if (round == 1 && protocol == 15) {
            text += ", in TD1 unzulässig";
            Fault("T=15 in TD1");
        }
        // ISO/IEC 7816-3 8.2.3: the TD bytes name their protocols in ascending order; a
        // later T may repeat the one before (for its further interface bytes).
        if (round > 1 && protocol < previous) {
            text += Format(", nach T=%u nicht aufsteigend", previous);
            Fault("Protokolle nicht aufsteigend angegeben");
        }
        Line(text + "; " + Following(td >> 4, round + 1, "keine weiteren Schnittstellenbytes") +
             ")");
        if (protocol != 15 &&
            std::find(protocols_.begin(), protocols_.end(), protocol) == protocols_.end()) {
            protocols_.push_back(protocol);
        }
        sawProtocolByte_ = true;
        checkNeeded_ = checkNeeded_ || protocol != 0;
    }

    void ExplainClockRate(const std::string& head, std::uint8_t ta1) {
        const unsigned fi = kClockRateConversions[ta1 >> 4];
        const unsigned maxClockKHz = kMaxClocksKHz[ta1 >> 4];
        const unsigned di = kBaudRateAdjustments[ta1 & 0x0F];
        fi_ = fi;
        std::string text = head;
        text += fi == 0 ? std::string("Fi reserviert")
                        : Format("Fi=%u, f(max) %s MHz", fi, Decimal(maxClockKHz, 1000, 1).c_str());
        text += di == 0 ? std::string(", Di reserviert)") : Format(", Di=%u)", di);
        Line(text);
        if (fi == 0 || di == 0) {
            return;
        }
        Line("Taktzyklen je ETU: " + Decimal(fi, di, 2));
        const auto rate = [&](std::uint64_t clockHz) {
            return Decimal(clockHz * di, fi, 0) + " Bit/s";
        };
        if (clockKHz_ != 0) {
            Line(Format("Übertragungsrate bei %u kHz (Standardtakt des Lesers): ", clockKHz_) +
                 rate(std::uint64_t{clockKHz_} * 1000));
            return;
        }
        Line("Übertragungsrate bei f(max) " + Decimal(maxClockKHz, 1000, 1) +
             " MHz: " + rate(std::uint64_t{maxClockKHz} * 1000));
        Line("Übertragungsrate bei 3,5712 MHz (Bezugstakt): " + rate(kReferenceClockHz));
    }

    static std::string ProgrammingVoltage(unsigned round, std::uint8_t value) {
        if (round == 2) {
            return value >= 50 && value <= 250
                       ? "Programmierspannung " + Decimal(value, 10, 1) + " V"
                       : std::string("Programmierspannung reserviert");
        }
        const unsigned volts = value & 0x1F;
        if (volts == 0) {
            return "keine Programmierspannung";
        }
        constexpr std::array<unsigned, 4> kMilliamperes = {25, 50, 100, 0};
        const unsigned current = kMilliamperes[(value >> 5) & 3];
        std::string text = volts >= 5 && volts <= 25 ? Format("Programmierspannung %u V", volts)
                                                     : "Programmierspannung reserviert";
        text +=
            current == 0 ? std::string(", Strom reserviert") : Format(", Strom bis %u mA", current);
        return text;
    }

    static std::string GuardTime(std::uint8_t tc1) {
        if (tc1 == 0) {
            return "keine zusätzliche Schutzzeit";
        }
        if (tc1 == 0xFF) {
            return "kleinste Schutzzeit: 12 ETU unter T=0, 11 ETU unter T=1";
        }
        return Format("zusätzliche Schutzzeit %u ETU", tc1);
    }

    void ExplainSpecificMode(const std::string& head, std::uint8_t ta2) {
        sawSpecificMode_ = true;
        std::string text = head + Format("spezifischer Modus, T=%u; ", ta2 & 0x0F);
        text += (ta2 & 0x80) != 0 ? "Moduswechsel nicht möglich; " : "Moduswechsel möglich; ";
        text += (ta2 & 0x10) != 0 ? "Parameter implizit" : "Fi und Di nach TA1";
        if ((ta2 & 0x60) != 0) {
            text += "; reservierte Bits gesetzt";
        }
        Line(text + ")");
    }

    void ExplainWaitingTime(const std::string& head, std::uint8_t wi) {
        if (wi == 0) {
            Line(head + "T=0: WI=0 reserviert)");
            return;
        }
        Line(head + Format("T=0: Wartezeitfaktor WI=%u)", wi));
        if (fi_ != 0) {
            Line(Format("Wartezeit: %lu Takte", 960ul * wi * fi_));
        }
    }

    void ExplainBlockProtocolByte(const std::string& head, unsigned kind, std::uint8_t value) {
        if (kind == 0) {
            Line(head + (value == 0x00 || value == 0xFF ? std::string("T=1: IFSC reserviert)")
                                                        : Format("T=1: IFSC %u Bytes)", value)));
        } else if (kind == 1) {
            const unsigned bwi = value >> 4;
            const unsigned cwi = value & 0x0F;
            Line(head + Format("T=1: BWI=%u%s, CWI=%u)", bwi, bwi > 9 ? " reserviert" : "", cwi));
            if (bwi <= 9) {
                Line(Format("Blockwartezeit: 11 ETU + %lu Takte", (1ul << bwi) * 960 * kDefaultFi));
            }
            Line(Format("Zeichenwartezeit: %u ETU", 11 + (1u << cwi)));
        } else {
            Line(head + "T=1: Fehlererkennung mit " + ((value & 1) != 0 ? "CRC" : "LRC") +
                 ((value & 0xFE) != 0 ? "; reservierte Bits gesetzt)" : ")"));
        }
    }

    static std::string ClockStopAndClasses(std::uint8_t ta) {
        std::vector<std::string_view> classes;
        for (unsigned bit = 0; bit < kClasses.size(); ++bit) {
            if ((ta >> bit) & 1) {
                classes.push_back(kClasses[bit]);
            }
        }
        std::string text = "T=15: " + std::string(kClockStops[ta >> 6]) + "; ";
        text += classes.empty() ? "keine Klasse angegeben" : "Klassen " + Join(classes);
        if ((ta & 0x38) != 0) {
            text += "; reservierte Bits gesetzt";
        }
        return text;
    }

    static std::string StandbyUse(std::uint8_t tb) {
        if (tb == 0) {
            return "T=15: SPU nicht genutzt";
        }
        return (tb & 0x80) != 0 ? "T=15: SPU herstellereigen genutzt" : "T=15: SPU genormt genutzt";
    }

    void ExplainProtocols() {
        if (!sawProtocolByte_) {
            Line("Angebotene Protokolle: T=0 (kein TD1)");
        } else if (protocols_.empty()) {
            Line("Angebotene Protokolle: keines");
        } else {
            std::string text = "Angebotene Protokolle: ";
            for (std::size_t i = 0; i < protocols_.size(); ++i) {
                text += Format("%sT=%u", i == 0 ? "" : ", ", protocols_[i]);
            }
            Line(text);
        }
        if (!sawSpecificMode_) {
            Line("Modus: aushandelbar (kein TA2)");
        }
    }

    // False when the ATR ends before the last of them.
    bool ExplainHistoricalBytes(std::size_t announced) {
        if (announced == 0) {
            Line("Historische Bytes: keine");
            return true;
        }
        const auto bytes = atr_.subspan(next_).first(std::min(announced, atr_.size() - next_));
        next_ += bytes.size();
        const bool complete = bytes.size() == announced;
        Line("Historische Bytes: " + Hex(bytes) +
             (complete ? "" : Format(" (nur %zu von %zu)", bytes.size(), announced)));
        if (bytes.empty()) {
            Fault(kCutShort);
            return false;
        }
        std::string text = "Als Text: ";
        for (const std::uint8_t byte : bytes) {
            text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
        }
        Line(text);
        ExplainCategory(bytes, complete);
        if (!complete) {
            Fault(kCutShort);
        }
        return complete;
    }

    void ExplainCategory(std::span<const std::uint8_t> bytes, bool complete) {
        const std::uint8_t category = bytes[0];
        const auto rest = bytes.subspan(1);
        if (category == 0x00) {
            Line("Kategorie: 00 (Kompakt-TLV-Objekte, Statusanzeige am Ende)");
            if (!complete) {
                CompactTlvObjects(rest);
            } else if (rest.size() < 3) {
                Line("Statusanzeige: fehlt");
            } else {
                CompactTlvObjects(rest.first(rest.size() - 3));
                const auto status = rest.last(3);
                Line("Statusanzeige: " + Hex(status));
                ExplainStatus(status);
            }
        } else if (category == 0x10) {
            Line("Kategorie: 10 (DIR-Datenreferenz)");
            if (!rest.empty()) {
                Line("DIR-Datenreferenz: " + Hex(rest[0]));
            }
        } else if (category == 0x80) {
            Line("Kategorie: 80 (Kompakt-TLV-Objekte)");
            CompactTlvObjects(rest);
        } else {
            Line(Format("Kategorie: %02X (%s)", category,
                        category > 0x80 && category <= 0x8F ? "reserviert" : "herstellereigen"));
        }
    }

    void CompactTlvObjects(std::span<const std::uint8_t> data) {
        std::size_t at = 0;
        while (at < data.size()) {
            const std::uint8_t header = data[at];
            std::size_t headerSize = 1;
            std::size_t length = header & 0x0F;
            // A length of 15 never fits into historical bytes: 4F is an application
            // identifier with a length byte of its own, as PC/SC readers write for memory
            // and contactless cards.
            const bool berAid = header == 0x4F && at + 1 < data.size();
            if (berAid) {
                headerSize = 2;
                length = data[at + 1];
            }
            const std::string_view known =
                berAid ? "Anwendungskennung" : kCompactTlvNames[header >> 4];
            const std::string name =
                (known.empty() ? Format("Objekt mit Tag %X", header >> 4) : std::string(known)) +
                " (" + Hex(data.subspan(at, headerSize)) + "): ";
            const auto value = data.subspan(at + headerSize)
                                   .first(std::min(length, data.size() - at - headerSize));
            if (value.size() < length) {
                Line(name + Hex(value) + (value.empty() ? "" : " ") +
                     Format("(unvollständig, %zu Bytes angekündigt)", length));
                return;
            }
            Line(name + (value.empty() ? std::string("keine Daten") : Hex(value)));
            ExplainCompactTlvValue(berAid ? 0x0F : header >> 4, value);
            at += headerSize + length;
        }
    }

    void ExplainCompactTlvValue(unsigned tag, std::span<const std::uint8_t> value) {
        if (value.empty()) {
            return;
        }
        if (tag == 3) {
            ExplainCardServices(value[0]);
        } else if (tag == 7) {
            ExplainCardCapabilities(value);
        } else if (tag == 8 && value.size() <= 3) {
            ExplainStatus(value);
        } else if (tag == 0x0F && value.size() >= 8 && value[0] == 0xA0 && value[1] == 0x00 &&
                   value[2] == 0x00 && value[3] == 0x03 && value[4] == 0x06) {
            Line("Speicherkarte nach PC/SC: Standard " + Hex(value[5]) + ", Kartenname " +
                 Hex(value.subspan(6, 2)));
        }
    }

    void ExplainCardServices(std::uint8_t services) {
        constexpr std::array<std::string_view, 2> kSelections = {"vollständiger DF-Name",
                                                                 "partieller DF-Name"};
        constexpr std::array<std::string_view, 2> kDirectories = {"EF.DIR", "EF.ATR"};
        Line("Anwendungsauswahl: " + SetBits(services, 7, kSelections));
        Line("BER-TLV-Objekte in: " + SetBits(services, 5, kDirectories));
        const unsigned access = (services >> 1) & 7;
        Line(std::string("EF.DIR und EF.ATR lesen mit: ") + (access == 4   ? "READ BINARY"
                                                             : access == 0 ? "READ RECORD"
                                                             : access == 2 ? "GET DATA"
                                                                           : "reserviert"));
        Line((services & 1) != 0 ? "Master File: nein" : "Master File: ja");
    }

    void ExplainCardCapabilities(std::span<const std::uint8_t> capabilities) {
        Line("DF-Auswahl: " + SetBits(capabilities[0], 7, kDfSelections));
        Line("EF-Referenz: " + SetBits(capabilities[0], 2, kEfReferences));
        if (capabilities.size() < 2) {
            return;
        }
        ExplainDataCoding(capabilities[1]);
        if (capabilities.size() < 3) {
            return;
        }
        const std::uint8_t third = capabilities[2];
        Line(std::string("Kommandoverkettung: ") + ((third & 0x80) != 0 ? "ja" : "nein"));
        Line(std::string("Erweiterte Lc- und Le-Felder: ") + ((third & 0x40) != 0 ? "ja" : "nein"));
        const unsigned channels = (third & 7) + 1;
        if ((third & 0x18) == 0) {
            Line("Logische Kanäle: keine");
            return;
        }
        Line(Format("Logische Kanäle: %s%u", channels == 8 ? "mindestens " : "", channels));
        Line("Vergabe der Kanalnummern: " + SetBits(third, 4, kChannelAssignments));
    }

    // The data coding byte, the second of the card capabilities.
    void ExplainDataCoding(std::uint8_t coding) {
        Line(std::string("EFs mit TLV-Struktur: ") + ((coding & 0x80) != 0 ? "ja" : "nein"));
        Line("Schreibfunktionen: " + std::string(kWriteFunctions[(coding >> 5) & 3]));
        Line(std::string("FF als erstes Byte eines BER-TLV-Tags: ") +
             ((coding & 0x10) != 0 ? "gültig" : "ungültig (Füllbyte)"));
        // 2^n quartets, from half a byte up to 16384 bytes.
        const unsigned exponent = coding & 0x0F;
        Line(exponent == 0 ? std::string("Dateneinheit: 4 Bit")
                           : Format("Dateneinheit: %u %s", 1u << (exponent - 1),
                                    exponent == 1 ? "Byte" : "Bytes"));
    }

    // One byte: life cycle; two: status bytes; three: both.
    void ExplainStatus(std::span<const std::uint8_t> status) {
        if (status.size() != 2) {
            Line(Format("Lebenszyklus: %s", std::string(LifeCycle(status[0])).c_str()));
        }
        if (status.size() >= 2) {
            Line("Statusbytes: " + Hex(status.last(2)));
        }
    }

    // T0 to the latest byte read, combined by exclusive-or: the value of a right TCK.
    std::uint8_t ExclusiveOrFromT0() const {
        std::uint8_t value = 0;
        for (std::size_t i = 1; i < next_; ++i) {
            value ^= atr_[i];
        }
        return value;
    }

    void ExplainCheckByte() {
        if (!checkNeeded_) {
            Line("TCK: keines (bei nur T=0 nicht vorgesehen)");
            return;
        }
        const std::uint8_t expected = ExclusiveOrFromT0();
        const auto tck = Take();
        if (!tck) {
            Line("TCK: fehlt");
            Fault("TCK fehlt");
        } else if (*tck == expected) {
            Line(Format("TCK: %02X (richtig)", *tck));
        } else {
            Line(Format("TCK: %02X (falsch, richtig wäre %02X)", *tck, expected));
            Fault("TCK falsch");
        }
    }

    std::span<const std::uint8_t> atr_;
    std::uint32_t clockKHz_;
    std::size_t next_ = 0;
    std::string out_;
    std::vector<std::string_view> faults_;
    std::uint32_t fi_ = kDefaultFi;    // 0 when TA1 names a reserved value
    std::vector<unsigned> protocols_;  // the protocols of the TD bytes, in order, T=15 left out
    bool sawProtocolByte_ = false;
    bool sawSpecificMode_ = false;
    bool checkNeeded_ = false;   // a TD byte named another protocol than T=0
    unsigned seenSpecific_ = 0;  // SeenBefore's bits
};

}  // namespace

std::string DescribeAtr(std::span<const std::uint8_t> atr,
                        std::optional<std::uint32_t> defaultClockKHz) {
    return AtrExplainer(atr, defaultClockKHz).Explain();
}

}  // namespace zebrik
