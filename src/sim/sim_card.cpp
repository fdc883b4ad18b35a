#include "sim/sim_card.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "core/cards/sim/gsm_alphabet.h"
#include "core/report/text.h"

namespace zebrik::sim {
namespace {

constexpr std::uint8_t kClaGsm = 0xA0;

constexpr std::size_t kNumberBytes = 10;
// A dialling number's digits by their BCD value: 0 to 9, then * (A) and # (B).
constexpr std::string_view kDialDigits = "0123456789*#";

constexpr std::uint8_t kInsSelect = 0xA4;
constexpr std::uint8_t kInsReadBinary = 0xB0;
constexpr std::uint8_t kInsReadRecord = 0xB2;
constexpr std::uint8_t kInsGetResponse = 0xC0;
constexpr std::uint8_t kInsVerify = 0x20;
constexpr std::uint8_t kInsUnblock = 0x2C;

// Status words of the two dialects: ISO 7816-4 for class 00, GSM 11.11 for class A0.
struct Dialect {
    std::uint16_t notFound;
    std::uint16_t recordNotFound;
    std::uint8_t wrongLength;  // SW1; SW2 carries the right length
    std::uint16_t accessDenied;
    std::uint16_t noCurrentEf;
    std::uint16_t wrongParameters;
};
constexpr Dialect kIso = {0x6A82, 0x6A83, 0x6C, 0x6982, 0x6986, 0x6A86};
constexpr Dialect kGsm = {0x9404, 0x9402, 0x67, 0x9804, 0x9400, 0x6B00};

const Dialect& DialectOf(bool gsm) {
    return gsm ? kGsm : kIso;
}

bool IsDf(const SimFile& file) {
    return file.kind == FileKind::Master || file.kind == FileKind::Dedicated;
}

bool IsRecordFile(const SimFile& file) {
    return file.kind == FileKind::LinearFixed || file.kind == FileKind::Cyclic;
}

std::size_t FileSize(const SimFile& file) {
    if (IsRecordFile(file)) {
        return file.records.empty() ? 0 : file.records.size() * file.records.front().size();
    }
    return file.content.size();
}

void PutWord(Bytes& bytes, std::size_t at, std::size_t value) {
    bytes[at] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    bytes[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

SimFile NewFile(std::uint16_t id, FileKind kind, Access read) {
    SimFile file;
    file.id = id;
    file.kind = kind;
    file.read = read;
    return file;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

Bytes Hex(std::string_view text) {
    Bytes bytes;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\t') {
            continue;
        }
        const int value = HexValue(c);
        if (value < 0) {
            std::fprintf(stderr, "card description: not a hex digit in \"%.*s\"\n",
                         static_cast<int>(text.size()), text.data());
            std::abort();
        }
        if (high < 0) {
            high = value;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + value));
            high = -1;
        }
    }
    if (high >= 0) {
        std::fprintf(stderr, "card description: odd number of hex digits\n");
        std::abort();
    }
    return bytes;
}

Bytes Ascii(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes GsmText(std::string_view utf8) {
    Bytes bytes;
    while (!utf8.empty()) {
        std::string character;
        std::uint8_t code = 0;
        for (; code < GsmDefaultAlphabet.size(); ++code) {
            character.clear();
            AppendUtf8(character, GsmDefaultAlphabet[code]);
            if (utf8.starts_with(character)) {
                break;
            }
        }
        if (code == GsmDefaultAlphabet.size()) {
            throw std::invalid_argument("'" + std::string(utf8) +
                                        "' begins with no character of the GSM alphabet");
        }
        bytes.push_back(code);
        utf8.remove_prefix(character.size());
    }
    return bytes;
}

Bytes DiallingNumber(std::string_view number) {
    const bool international = number.starts_with('+');
    if (international) {
        number.remove_prefix(1);
    }
    Bytes digits;
    for (std::size_t i = 0; i < number.size() && i < 2 * kNumberBytes; ++i) {
        const auto digit = static_cast<std::uint8_t>(kDialDigits.find(number[i]));
        if (digit >= 12) {
            throw std::invalid_argument("'" + std::string(number) +
                                        "' is no dialling number (digits, * and #)");
        }
        if (i % 2 == 0) {
            digits.push_back(static_cast<std::uint8_t>(0xF0 | digit));
        } else {
            digits.back() = static_cast<std::uint8_t>((digits.back() & 0x0F) | digit << 4);
        }
    }
    Bytes field = {static_cast<std::uint8_t>(digits.size() + 1),
                   static_cast<std::uint8_t>(international ? 0x91 : 0x81)};
    digits.resize(kNumberBytes, 0xFF);
    field.insert(field.end(), digits.begin(), digits.end());
    return field;
}

Bytes DiallingRecord(Bytes name, std::string_view number, std::size_t recordLength,
                     std::uint8_t extension) {
    constexpr std::size_t kAfterName = 14;  // number part, capability and extension
    name.resize(recordLength - kAfterName, 0xFF);
    return Concat({name, DiallingNumber(number), {0xFF, extension}});
}

Bytes ServiceProviderName(std::uint8_t displayCondition, Bytes name) {
    Bytes spn = Concat({{displayCondition}, std::move(name)});
    spn.resize(17, 0xFF);
    return spn;
}

SimFile MasterFile(std::vector<SimFile> children) {
    SimFile file = NewFile(0x3F00, FileKind::Master, Access::Always);
    file.children = std::move(children);
    return file;
}

SimFile DedicatedFile(std::uint16_t id, std::vector<SimFile> children, Bytes aid) {
    SimFile file = NewFile(id, FileKind::Dedicated, Access::Always);
    file.children = std::move(children);
    file.aid = std::move(aid);
    return file;
}

SimFile TransparentFile(std::uint16_t id, Bytes content, Access read) {
    SimFile file = NewFile(id, FileKind::Transparent, read);
    file.content = std::move(content);
    return file;
}

SimFile RecordFile(std::uint16_t id, std::vector<Bytes> records, Access read) {
    SimFile file = NewFile(id, FileKind::LinearFixed, read);
    file.records = std::move(records);
    return file;
}

Bytes ChvCode(std::string_view digits) {
    Bytes code(8, 0xFF);
    for (std::size_t i = 0; i < digits.size() && i < code.size(); ++i) {
        code[i] = static_cast<std::uint8_t>(digits[i]);
    }
    return code;
}

SimCard::SimCard(CardDescription description) : description_(std::move(description)) {
    Reset();
}

void SimCard::Reset() {
    currentDf_ = &description_.mf;
    currentEf_ = nullptr;
    pending_.clear();
    chv1Verified_ = false;
}

Bytes SimCard::Process(std::span<const std::uint8_t> command) {
    log_.emplace_back(command.begin(), command.end());
    Bytes response = Answer(command);
    return response;
}

Bytes SimCard::Status(std::uint16_t sw) const {
    return {static_cast<std::uint8_t>(sw >> 8), static_cast<std::uint8_t>(sw & 0xFF)};
}

Bytes SimCard::Answer(std::span<const std::uint8_t> command) {
    for (ScriptedAnswer& scripted : description_.scripted) {
        if (scripted.times != 0 && std::equal(scripted.command.begin(), scripted.command.end(),
                                              command.begin(), command.end())) {
            if (scripted.times > 0) {
                --scripted.times;
            }
            pending_.clear();
            return scripted.response;
        }
    }
    if (command.size() < 4) {
        return Status(0x6700);
    }
    const std::uint8_t cla = command[0];
    const std::uint8_t ins = command[1];
    const auto& classes = description_.classes;
    if (std::find(classes.begin(), classes.end(), cla) == classes.end()) {
        return Status(0x6E00);
    }
    const bool gsm = cla == kClaGsm;
    if (ins == kInsGetResponse) {
        return GetResponse(command, gsm);
    }
    pending_.clear();
    switch (ins) {
        case kInsSelect:
            return Select(command, gsm);
        case kInsReadBinary:
            return ReadBinary(command, gsm);
        case kInsReadRecord:
            return ReadRecord(command, gsm);
        case kInsVerify:
            return gsm ? Verify(command) : IsoVerify(command);
        case kInsUnblock:
            return gsm ? Unblock(command) : IsoUnblock(command);
        default:
            break;
    }
    return Status(0x6D00);
}

const SimFile* SimCard::FindChild(const SimFile& df, std::uint16_t id) const {
    for (const SimFile& child : df.children) {
        if (child.id == id) {
            return &child;
        }
    }
    return nullptr;
}

const SimFile* SimCard::ParentOf(const SimFile& file) const {
    // Depth-first search from the MF; the trees are small.
    std::vector<const SimFile*> stack{&description_.mf};
    while (!stack.empty()) {
        const SimFile* df = stack.back();
        stack.pop_back();
        for (const SimFile& child : df->children) {
            if (&child == &file) {
                return df;
            }
            if (IsDf(child)) {
                stack.push_back(&child);
            }
        }
    }
    return nullptr;
}

const SimFile* SimCard::FindByAid(const SimFile& df, std::span<const std::uint8_t> aid) const {
    for (const SimFile& child : df.children) {
        if (!IsDf(child)) {
            continue;
        }
        if (!child.aid.empty() && child.aid.size() >= aid.size() &&
            std::equal(aid.begin(), aid.end(), child.aid.begin())) {
            return &child;
        }
        if (const SimFile* found = FindByAid(child, aid)) {
            return found;
        }
    }
    return nullptr;
}

const SimFile* SimCard::FindShortId(std::uint8_t shortId) const {
    for (const SimFile& child : currentDf_->children) {
        if (!IsDf(child) && child.shortId == shortId) {
            return &child;
        }
    }
    return nullptr;
}

// ISO 7816-4: short EF identifier 0 means the current EF, not a file without one.
std::optional<std::uint16_t> SimCard::SelectShortId(std::uint8_t shortId, bool gsm) {
    if (shortId == 0) {
        return std::nullopt;
    }
    const SimFile* file = FindShortId(shortId);
    if (file == nullptr) {
        return DialectOf(gsm).notFound;
    }
    currentEf_ = file;
    return std::nullopt;
}

// Why the current EF cannot be read as records (or as a transparent file): none is
// selected, it has the other structure, or its read condition is not met.
std::optional<std::uint16_t> SimCard::ReadRefusal(bool records, bool gsm) const {
    if (currentEf_ == nullptr) {
        return DialectOf(gsm).noCurrentEf;
    }
    if (IsRecordFile(*currentEf_) != records) {
        return gsm ? 0x9408 : 0x6981;  // file of another structure
    }
    if (!ReadAllowed(*currentEf_)) {
        return gsm && description_.chv1.attempts == 0 ? 0x9840 : DialectOf(gsm).accessDenied;
    }
    return std::nullopt;
}

bool SimCard::ReadAllowed(const SimFile& file) const {
    switch (file.read) {
        case Access::Always:
            return true;
        case Access::Never:
            return false;
        case Access::Chv1:
            return !description_.chv1Enabled || chv1Verified_;
    }
    return false;
}

// Response data of a command: as much as Le asks for, or the right length proposed.
// Under T=1 Le 00 means "all there is"; under T=0 it means 256. A record must be read
// whole under T=0 (partialAllowed false); a transparent file may be read in part.
Bytes SimCard::WithData(Bytes data, std::uint8_t le, bool gsm, bool partialAllowed) {
    const Dialect& dialect = DialectOf(gsm);
    if (data.size() > 256) {
        data.resize(256);
    }
    const auto available = static_cast<std::uint8_t>(data.size() & 0xFF);
    if (description_.protocol == kProtocolT1) {
        if (le == 0 || le == data.size()) {
            data.push_back(0x90);
            data.push_back(0x00);
            return data;
        }
        if (le < data.size()) {
            data.resize(le);
            data.push_back(0x90);
            data.push_back(0x00);
            return data;
        }
        return {dialect.wrongLength, available};
    }
    const std::size_t wanted = le == 0 ? 256 : le;
    if (wanted == data.size() || (partialAllowed && wanted < data.size())) {
        data.resize(wanted);
        data.push_back(0x90);
        data.push_back(0x00);
        return data;
    }
    return {dialect.wrongLength, available};
}

Bytes SimCard::Select(std::span<const std::uint8_t> command, bool gsm) {
    const Dialect& dialect = DialectOf(gsm);
    const std::uint8_t p1 = command[2];
    const std::uint8_t p2 = command[3];
    const std::size_t lc = command.size() > 4 ? command[4] : 0;
    if (command.size() > 4 && command.size() < 5 + lc) {
        return Status(0x6700);
    }
    const std::span<const std::uint8_t> data =
        command.size() > 5 ? command.subspan(5, lc) : std::span<const std::uint8_t>();

    const SimFile* found = nullptr;
    if (data.empty()) {
        found = &description_.mf;  // SELECT without data: the MF
    } else if (p1 == 0x04) {
        found = FindByAid(description_.mf, data);
    } else if (p1 == 0x08) {
        found = FindPath(data);
    } else if (data.size() == 2) {
        const auto id = static_cast<std::uint16_t>((data[0] << 8) | data[1]);
        const SimFile* parent = ParentOf(*currentDf_);
        if (id == 0x3F00) {
            found = &description_.mf;
        } else if (p1 == 0x01) {
            found = FindChild(*currentDf_, id);
            if (found && !IsDf(*found))
                found = nullptr;
        } else if (p1 == 0x02) {
            found = FindChild(*currentDf_, id);
            if (found && IsDf(*found))
                found = nullptr;
        } else if (p1 == 0x00) {
            // GSM 11.11 rules: a child of the current DF, the current DF, its parent,
            // or a sibling DF.
            found = FindChild(*currentDf_, id);
            if (!found && currentDf_->id == id)
                found = currentDf_;
            if (!found && parent && parent->id == id)
                found = parent;
            if (!found && parent) {
                found = FindChild(*parent, id);
                if (found && !IsDf(*found))
                    found = nullptr;
            }
        } else {
            return Status(dialect.wrongParameters);
        }
    } else {
        return Status(dialect.wrongParameters);
    }
    if (found == nullptr) {
        return Status(dialect.notFound);
    }
    if (found->selectStatus) {
        return Status(*found->selectStatus);
    }
    if (IsDf(*found)) {
        currentDf_ = found;
        currentEf_ = nullptr;
    } else {
        // A path may end in an EF of another DF, which becomes the current DF.
        if (const SimFile* parent = ParentOf(*found); p1 == 0x08 && parent != nullptr) {
            currentDf_ = parent;
        }
        currentEf_ = found;
    }
    if (gsm) {
        pending_ = found->selectResponse ? *found->selectResponse : GsmStatus(*found);
        return {0x9F, static_cast<std::uint8_t>(pending_.size() & 0xFF)};
    }
    if ((p2 & 0x0C) == 0x0C) {
        return Status(0x9000);
    }
    Bytes fcp = found->selectResponse ? *found->selectResponse
                : description_.uicc   ? UiccFcp(*found)
                                      : IsoFcp(*found);
    if (description_.protocol == kProtocolT1) {
        fcp.push_back(0x90);
        fcp.push_back(0x00);
        return fcp;
    }
    pending_ = std::move(fcp);
    return {0x61, static_cast<std::uint8_t>(pending_.size() & 0xFF)};
}

Bytes SimCard::ReadBinary(std::span<const std::uint8_t> command, bool gsm) {
    const std::uint8_t p1 = command[2];
    const std::uint8_t p2 = command[3];
    const std::uint8_t le = command.size() > 4 ? command[4] : 0;
    const bool byShortId = (p1 & 0x80) != 0;
    if (const auto refusal = SelectShortId(byShortId ? p1 & 0x1F : 0, gsm)) {
        return Status(*refusal);
    }
    if (const auto refusal = ReadRefusal(false, gsm)) {
        return Status(*refusal);
    }
    const std::size_t offset = byShortId ? p2 : static_cast<std::size_t>(((p1 & 0x7F) << 8) | p2);
    if (offset > currentEf_->content.size()) {
        return Status(gsm ? 0x9402 : 0x6B00);  // GSM 11.11: out of range (invalid address)
    }
    Bytes data(currentEf_->content.begin() + static_cast<std::ptrdiff_t>(offset),
               currentEf_->content.end());
    return WithData(std::move(data), le, gsm, true);
}

Bytes SimCard::ReadRecord(std::span<const std::uint8_t> command, bool gsm) {
    const Dialect& dialect = DialectOf(gsm);
    const std::uint8_t number = command[2];
    const std::uint8_t p2 = command[3];
    const std::uint8_t le = command.size() > 4 ? command[4] : 0;
    if ((p2 & 0x07) != 0x04) {
        return Status(dialect.wrongParameters);
    }
    if (const auto refusal = SelectShortId(static_cast<std::uint8_t>(p2 >> 3), gsm)) {
        return Status(*refusal);
    }
    if (const auto refusal = ReadRefusal(true, gsm)) {
        return Status(*refusal);
    }
    if (number == 0 || number > currentEf_->records.size()) {
        return Status(dialect.recordNotFound);
    }
    return WithData(currentEf_->records[number - 1], le, gsm, description_.protocol == kProtocolT1);
}

Bytes SimCard::GetResponse(std::span<const std::uint8_t> command, bool gsm) {
    if (pending_.empty()) {
        return Status(gsm ? 0x6F00 : 0x6985);
    }
    const std::size_t wanted = command.size() > 4 && command[4] != 0 ? command[4] : 256;
    if (wanted > pending_.size()) {
        return {DialectOf(gsm).wrongLength, static_cast<std::uint8_t>(pending_.size() & 0xFF)};
    }
    Bytes data(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(wanted));
    pending_.clear();
    data.push_back(0x90);
    data.push_back(0x00);
    return data;
}

Bytes SimCard::Verify(std::span<const std::uint8_t> command) {
    if (command[2] != 0x00 || command[3] != 0x01) {
        return Status(0x6B00);
    }
    if (command.size() != 13 || command[4] != 0x08) {
        return Status(0x6708);
    }
    Chv& chv = description_.chv1;
    if (!description_.chv1Enabled) {
        return Status(0x9808);  // in contradiction with the CHV status
    }
    if (chv.attempts == 0) {
        return Status(0x9840);
    }
    if (std::equal(chv.code.begin(), chv.code.end(), command.begin() + 5, command.end())) {
        chv.attempts = chv.maxAttempts;
        chv1Verified_ = true;
        return Status(0x9000);
    }
    chv1Verified_ = false;
    --chv.attempts;
    return Status(chv.attempts == 0 ? 0x9840 : 0x9804);
}

Bytes SimCard::Unblock(std::span<const std::uint8_t> command) {
    if (command[2] != 0x00 || command[3] != 0x00) {
        return Status(0x6B00);
    }
    if (command.size() != 21 || command[4] != 0x10) {
        return Status(0x6710);
    }
    Chv& chv = description_.chv1;
    if (chv.unblockAttempts == 0) {
        return Status(0x9840);
    }
    const auto puk = command.subspan(5, 8);
    if (std::equal(chv.unblockCode.begin(), chv.unblockCode.end(), puk.begin(), puk.end())) {
        chv.code.assign(command.begin() + 13, command.end());
        chv.attempts = chv.maxAttempts;
        chv.unblockAttempts = chv.maxUnblockAttempts;
        chv1Verified_ = true;
        return Status(0x9000);
    }
    --chv.unblockAttempts;
    return Status(chv.unblockAttempts == 0 ? 0x9840 : 0x9804);
}

const SimFile* SimCard::FindPath(std::span<const std::uint8_t> path) const {
    if (path.size() % 2 != 0) {
        return nullptr;
    }
    const SimFile* file = &description_.mf;
    for (std::size_t i = 0; i < path.size() && file != nullptr; i += 2) {
        if (!IsDf(*file)) {
            return nullptr;
        }
        file = FindChild(*file, static_cast<std::uint16_t>((path[i] << 8) | path[i + 1]));
    }
    return file;
}

// TS 102 221 9.4.2: PIN1 is an application PIN (01 to 08) or the universal PIN (11),
// PIN2 a second-level key (81 to 88).
Chv* SimCard::KeyOf(std::uint8_t keyReference) {
    if ((keyReference >= 0x01 && keyReference <= 0x08) || keyReference == 0x11) {
        return &description_.chv1;
    }
    if (keyReference >= 0x81 && keyReference <= 0x88) {
        return &description_.chv2;
    }
    return nullptr;
}

// TS 102 221 11.1.9: VERIFY PIN; without data it asks only how many tries are left (90 00
// when no verification is needed).
Bytes SimCard::IsoVerify(std::span<const std::uint8_t> command) {
    Chv* chv = command[2] == 0x00 ? KeyOf(command[3]) : nullptr;
    if (chv == nullptr) {
        return Status(0x6A86);
    }
    const bool pin1 = chv == &description_.chv1;
    const std::size_t lc = command.size() > 4 ? command[4] : 0;
    if (lc == 0) {
        if (chv->attempts == 0) {
            return Status(0x6983);
        }
        if (pin1 && (!description_.chv1Enabled || chv1Verified_)) {
            return Status(0x9000);
        }
        return Status(static_cast<std::uint16_t>(0x63C0 | (chv->attempts & 0x0F)));
    }
    if (lc != 8 || command.size() != 13) {
        return Status(0x6700);
    }
    if (chv->attempts == 0) {
        return Status(0x6983);
    }
    if (std::equal(chv->code.begin(), chv->code.end(), command.begin() + 5, command.end())) {
        chv->attempts = chv->maxAttempts;
        chv1Verified_ = chv1Verified_ || pin1;
        return Status(0x9000);
    }
    --chv->attempts;
    return Status(chv->attempts == 0 ? 0x6983 : static_cast<std::uint16_t>(0x63C0 | chv->attempts));
}

// TS 102 221 11.1.13: UNBLOCK PIN, with the PUK and a new PIN or, without data, the tries
// left for the PUK.
Bytes SimCard::IsoUnblock(std::span<const std::uint8_t> command) {
    Chv* chv = command[2] == 0x00 ? KeyOf(command[3]) : nullptr;
    if (chv == nullptr) {
        return Status(0x6A86);
    }
    const std::size_t lc = command.size() > 4 ? command[4] : 0;
    if (lc == 0) {
        return Status(chv->unblockAttempts == 0
                          ? 0x6983
                          : static_cast<std::uint16_t>(0x63C0 | (chv->unblockAttempts & 0x0F)));
    }
    if (lc != 16 || command.size() != 21) {
        return Status(0x6700);
    }
    if (chv->unblockAttempts == 0) {
        return Status(0x6983);
    }
    const auto puk = command.subspan(5, 8);
    if (std::equal(chv->unblockCode.begin(), chv->unblockCode.end(), puk.begin(), puk.end())) {
        chv->code.assign(command.begin() + 13, command.end());
        chv->attempts = chv->maxAttempts;
        chv->unblockAttempts = chv->maxUnblockAttempts;
        chv1Verified_ = chv1Verified_ || chv == &description_.chv1;
        return Status(0x9000);
    }
    --chv->unblockAttempts;
    return Status(chv->unblockAttempts == 0
                      ? 0x6983
                      : static_cast<std::uint16_t>(0x63C0 | chv->unblockAttempts));
}

// GSM 11.11 9.2.1: the status of an MF, DF or EF as SELECT/GET RESPONSE returns it.
Bytes SimCard::GsmStatus(const SimFile& file) const {
    if (IsDf(file)) {
        Bytes status(22, 0x00);
        PutWord(status, 2, 0x1000);  // memory not allocated
        PutWord(status, 4, file.id);
        status[6] = file.kind == FileKind::Master ? 0x01 : 0x02;
        status[12] = 9;  // GSM data in bytes 13 to 21
        status[13] = static_cast<std::uint8_t>(description_.chv1Enabled ? 0x03 : 0x83);
        std::size_t dfs = 0;
        for (const SimFile& child : file.children) {
            dfs += IsDf(child) ? 1 : 0;
        }
        status[14] = static_cast<std::uint8_t>(dfs);
        status[15] = static_cast<std::uint8_t>(file.children.size() - dfs);
        status[16] = 4;  // CHVs, unblock CHVs and administrative codes
        const Chv& chv1 = description_.chv1;
        const Chv& chv2 = description_.chv2;
        status[18] =
            static_cast<std::uint8_t>((chv1.initialised ? 0x80 : 0) | (chv1.attempts & 0x0F));
        status[19] = static_cast<std::uint8_t>(0x80 | (chv1.unblockAttempts & 0x0F));
        status[20] =
            static_cast<std::uint8_t>((chv2.initialised ? 0x80 : 0) | (chv2.attempts & 0x0F));
        status[21] = static_cast<std::uint8_t>(0x80 | (chv2.unblockAttempts & 0x0F));
        return status;
    }
    Bytes status(15, 0x00);
    PutWord(status, 2, FileSize(file));
    PutWord(status, 4, file.id);
    status[6] = 0x04;
    const std::uint8_t readCondition = file.read == Access::Always ? 0x0
                                       : file.read == Access::Chv1 ? 0x1
                                                                   : 0xF;
    status[8] = static_cast<std::uint8_t>((readCondition << 4) | 0x1);
    status[9] = 0x00;
    status[10] = 0x44;
    status[11] = 0x01;
    status[12] = 0x02;
    status[13] = file.kind == FileKind::Transparent ? 0x00
                 : file.kind == FileKind::Cyclic    ? 0x03
                                                    : 0x01;
    status[14] = IsRecordFile(file) && !file.records.empty()
                     ? static_cast<std::uint8_t>(file.records.front().size() & 0xFF)
                     : 0x00;
    return status;
}

// ISO 7816-4 file control parameters: file descriptor, identifier, size or DF name.
Bytes SimCard::IsoFcp(const SimFile& file) const {
    const std::uint8_t descriptor = IsDf(file)                           ? 0x38
                                    : file.kind == FileKind::Transparent ? 0x01
                                                                         : 0x02;
    Bytes body = {0x82,
                  0x01,
                  descriptor,
                  0x83,
                  0x02,
                  static_cast<std::uint8_t>(file.id >> 8),
                  static_cast<std::uint8_t>(file.id & 0xFF)};
    if (!file.aid.empty()) {
        body.push_back(0x84);
        body.push_back(static_cast<std::uint8_t>(file.aid.size()));
        for (std::uint8_t byte : file.aid) {
            body.push_back(byte);
        }
    }
    if (!IsDf(file)) {
        const std::size_t size = FileSize(file);
        for (std::uint8_t byte :
             {std::uint8_t{0x80}, std::uint8_t{0x02}, static_cast<std::uint8_t>((size >> 8) & 0xFF),
              static_cast<std::uint8_t>(size & 0xFF)}) {
            body.push_back(byte);
        }
    }
    Bytes fcp{0x62, static_cast<std::uint8_t>(body.size())};
    for (std::uint8_t byte : body) {
        fcp.push_back(byte);
    }
    return fcp;
}

}  // namespace zebrik::sim

namespace zebrik::sim {

// TS 102 221 11.1.1.3: file descriptor (with record length and count for a record EF),
// identifier, DF name, life cycle 05 (activated), size, short identifier; for the MF and
// a DF the PIN status template: PS_DO bit b8 for PIN1 (01), b7 for PIN2 (81), then the
// administrative key 0A, never enabled for the user.
Bytes SimCard::UiccFcp(const SimFile& file) const {
    Bytes body;
    const auto put = [&body](std::uint8_t tag, const Bytes& value) {
        body.push_back(tag);
        body.push_back(static_cast<std::uint8_t>(value.size()));
        body.insert(body.end(), value.begin(), value.end());
    };
    const auto word = [](std::size_t value) {
        return Bytes{static_cast<std::uint8_t>((value >> 8) & 0xFF),
                     static_cast<std::uint8_t>(value & 0xFF)};
    };
    if (IsDf(file)) {
        put(0x82, {0x78, 0x21});
    } else if (IsRecordFile(file)) {
        const std::size_t length = file.records.empty() ? 0 : file.records.front().size();
        put(0x82,
            Concat({{static_cast<std::uint8_t>(file.kind == FileKind::Cyclic ? 0x46 : 0x42), 0x21},
                    word(length),
                    {static_cast<std::uint8_t>(file.records.size() & 0xFF)}}));
    } else {
        put(0x82, {0x41, 0x21});
    }
    put(0x83, word(file.id));
    if (!file.aid.empty()) {
        put(0x84, file.aid);
    }
    put(0x8A, {0x05});
    if (IsDf(file)) {
        const auto enabled = static_cast<std::uint8_t>((description_.chv1Enabled ? 0x80 : 0) |
                                                       (description_.chv2.initialised ? 0x40 : 0));
        put(0xC6, Concat({Hex("90 01"), {enabled}, Hex("83 01 01 83 01 81 83 01 0A")}));
    } else {
        put(0x80, word(FileSize(file)));
        if (file.shortId != 0) {
            put(0x88, {static_cast<std::uint8_t>(file.shortId << 3)});
        }
    }
    return Concat({{0x62, static_cast<std::uint8_t>(body.size())}, body});
}

}  // namespace zebrik::sim
