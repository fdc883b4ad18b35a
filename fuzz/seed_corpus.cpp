// zebrik_fuzz_seeds OUTDIR [SMARTCARD_LIST]: writes the seed corpus of every fuzz target,
// recorded from the simulated cards of the catalogue, so that no binary corpus has to be
// kept in the repository. Each target gets a directory OUTDIR/<target> of seed files.
//
// The dispatch and analysis seeds are the runs of each catalogue card written down in the
// input format of fuzz_input.h: every answer the simulated resource manager and card gave,
// every PIN prompt answered (once confirmed with the card's codes, once cancelled). The
// parser seeds are the responses those runs received, and ATR lists made of the catalogue
// ATRs and, if given, pieces of a real smartcard_list.txt; the ATR decoder's seeds are those
// ATRs and every 16th fixed ATR of that list.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/analysis/analysis_run.h"
#include "core/analysis/dispatch.h"
#include "core/ports/pin_prompt.h"
#include "core/report/text.h"
#include "fuzz_input.h"
#include "sim/card_file.h"
#include "sim/catalog.h"
#include "sim/sim_resource_manager.h"

namespace {

using namespace zebrik;
using fuzz::Answer;
using fuzz::ChunkWriter;
namespace fs = std::filesystem;

class NullReport : public Report {
public:
    void Clear() override {}
    void Append(std::string_view) override {}
    void DropSelection() override {}
};

// Answers every prompt the same way and writes the answer down as a prompt chunk.
class RecordingPrompt : public PinPrompt {
public:
    RecordingPrompt(ChunkWriter& writer, bool confirm) : writer_(writer), confirm_(confirm) {}

    bool AskPin(PinEntryBuffer& buffer) override {
        Write("1234", "");
        if (confirm_) {
            std::snprintf(buffer.pin.data(), buffer.pin.size(), "%s", "1234");
        }
        return confirm_;
    }
    bool AskPukAndNewPin(PinUnblockBuffer& buffer) override {
        Write("12345678", "1234");
        if (confirm_) {
            std::snprintf(buffer.Puk(), 9, "%s", "12345678");
            std::snprintf(buffer.NewPin(), 9, "%s", "1234");
        }
        return confirm_;
    }

private:
    void Write(std::string_view first, std::string_view second) {
        std::vector<std::uint8_t> body(1 + 2 * kMaxPinLength, 0);
        body[0] = confirm_ ? 1 : 0;
        std::copy(first.begin(), first.end(), body.begin() + 1);
        std::copy(second.begin(), second.end(), body.begin() + 1 + kMaxPinLength);
        writer_.Body(confirm_ ? std::span<const std::uint8_t>(body)
                              : std::span<const std::uint8_t>(body).first(1));
    }

    ChunkWriter& writer_;
    bool confirm_;
};

// Passes every call on to the simulated resource manager and writes its outcome down as
// the chunk the fuzz fakes read back. With `onlyTransmit` only transmissions are written
// (the dispatch target reads nothing else).
class RecordingManager : public ResourceManager {
public:
    RecordingManager(ResourceManager& inner, ChunkWriter& writer, bool onlyTransmit)
        : inner_(inner), writer_(writer), onlyTransmit_(onlyTransmit) {}

    std::vector<std::vector<std::uint8_t>> responses;  // every response's data

    ResultCode EstablishContext(std::uint32_t scope, ContextHandle& context) override {
        return Record(inner_.EstablishContext(scope, context), {}, 0);
    }
    ResultCode ListReaders(ContextHandle context, std::span<char> readers,
                           std::uint32_t& length) override {
        const ResultCode code = inner_.ListReaders(context, readers, length);
        return Record(code, AsBytes(readers, length), 0);
    }
    ResultCode GetStatusChange(ContextHandle context, std::uint32_t timeout,
                               ReaderState& state) override {
        const ResultCode code = inner_.GetStatusChange(context, timeout, state);
        values_ = {state.eventState, 0};
        return Record(code,
                      std::span<const std::uint8_t>(state.atr).first(
                          std::min<std::size_t>(state.atrLength, state.atr.size())),
                      fuzz::kStatusChangeValues);
    }
    ResultCode ListCards(ContextHandle context, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length) override {
        const ResultCode code = inner_.ListCards(context, atr, names, length);
        return Record(code, AsBytes(names, length), 0);
    }
    ResultCode Connect(ContextHandle context, const std::string& reader, std::uint32_t shareMode,
                       std::uint32_t preferredProtocols, CardHandle& card,
                       std::uint32_t& activeProtocol) override {
        const ResultCode code =
            inner_.Connect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
        values_ = {card != 0 ? 1u : 0u, activeProtocol};
        return Record(code, {}, fuzz::kConnectValues);
    }
    ResultCode Status(CardHandle card, std::span<char> readerName, std::uint32_t& readerNameLength,
                      std::uint32_t& state, std::uint32_t& protocol, std::span<std::uint8_t> atr,
                      std::uint32_t& atrLength) override {
        const ResultCode code =
            inner_.Status(card, readerName, readerNameLength, state, protocol, atr, atrLength);
        values_ = {state, protocol};
        return Record(
            code,
            std::span<const std::uint8_t>(atr).first(std::min<std::size_t>(atrLength, atr.size())),
            fuzz::kStatusValues);
    }
    ResultCode GetAttrib(CardHandle card, std::uint32_t attributeId, std::span<std::uint8_t> value,
                         std::uint32_t& length) override {
        const ResultCode code = inner_.GetAttrib(card, attributeId, value, length);
        return Record(
            code,
            std::span<const std::uint8_t>(value).first(std::min<std::size_t>(length, value.size())),
            0);
    }
    ResultCode Transmit(CardHandle card, SendPci sendPci, std::span<const std::uint8_t> command,
                        std::span<std::uint8_t> response, std::uint32_t& responseLength) override {
        const ResultCode code = inner_.Transmit(card, sendPci, command, response, responseLength);
        const auto received = std::span<const std::uint8_t>(response).first(
            std::min<std::size_t>(responseLength, response.size()));
        if (code == kScardSuccess && received.size() > 2) {
            responses.emplace_back(received.begin(), received.end() - 2);
        }
        transmitted_ = true;
        return Record(code, received, 0);
    }
    ResultCode Disconnect(CardHandle card, std::uint32_t disposition) override {
        return Record(inner_.Disconnect(card, disposition), {}, 0);
    }
    ResultCode ReleaseContext(ContextHandle context) override {
        return Record(inner_.ReleaseContext(context), {}, 0);
    }

private:
    static std::span<const std::uint8_t> AsBytes(std::span<const char> text, std::uint32_t length) {
        return {reinterpret_cast<const std::uint8_t*>(text.data()),
                std::min<std::size_t>(length, text.size())};
    }

    ResultCode Record(ResultCode code, std::span<const std::uint8_t> data, std::size_t values) {
        const bool write = !onlyTransmit_ || transmitted_;
        transmitted_ = false;
        if (write) {
            Answer answer;
            answer.code = code;
            answer.values = values_;
            if (code == kScardSuccess) {
                answer.data = data;
            }
            writer_.Chunk(answer, values);
        }
        values_ = {};
        return code;
    }

    ResourceManager& inner_;
    ChunkWriter& writer_;
    bool onlyTransmit_;
    bool transmitted_ = false;
    std::array<std::uint32_t, 2> values_{};
};

void WriteSeed(const fs::path& dir, const std::string& name, std::span<const std::uint8_t> bytes) {
    fs::create_directories(dir);
    std::ofstream file(dir / name, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

std::uint8_t BusIndex(MemoryCardBus bus) {
    switch (bus) {
        case MemoryCardBus::None:
            return 0;
        case MemoryCardBus::I2C:
            return 1;
        case MemoryCardBus::TwoWire:
            return 2;
        case MemoryCardBus::ThreeWire:
            return 3;
    }
    return 0;
}

// One dispatch of the card over a shared connection, written down. Returns the responses.
std::vector<std::vector<std::uint8_t>> RecordDispatch(const sim::CardDescription& card,
                                                      bool confirm, const fs::path& out) {
    sim::SimResourceManager manager;
    sim::SimReader reader;
    reader.name = "Seed";
    reader.card = std::make_shared<sim::SimCard>(card);
    manager.readers.push_back(std::move(reader));
    ContextHandle context = 0;
    manager.EstablishContext(kScardScopeUser, context);
    CardHandle handle = 0;
    std::uint32_t protocol = 0;
    manager.Connect(context, "Seed", kShareShared, kProtocolT0 | kProtocolT1, handle, protocol);

    ChunkWriter writer;
    writer.Byte(protocol == kProtocolT0 ? 0 : 1);
    const MemoryCardBus bus = ClassifyAtr(card.atr);
    writer.Byte(BusIndex(bus));
    RecordingManager recorder(manager, writer, true);
    NullReport report;
    RecordingPrompt prompt(writer, confirm);
    ReportAndPrompt pane{report, prompt};
    DispatchCardFamily(pane, CardConnection{recorder, handle}, protocol, bus);
    WriteSeed(out / "dispatch", card.name + (confirm ? "" : "-cancel"), writer.Bytes());
    return recorder.responses;
}

void RecordAnalysis(std::vector<sim::SimReader> readers, bool confirm, const std::string& name,
                    const fs::path& out) {
    sim::SimResourceManager manager(std::move(readers));
    manager.cardNames = [](std::span<const std::uint8_t> atr) {
        std::string names;
        if (!atr.empty() && atr[0] == 0x3B) {
            names = std::string("Simulierte Karte") + '\0' + "Zweiter Name" + '\0';
            names.push_back('\0');
        }
        return names;
    };
    ChunkWriter writer;
    RecordingManager recorder(manager, writer, false);
    NullReport report;
    RecordingPrompt prompt(writer, confirm);
    ReportAndPrompt pane{report, prompt};
    RunAnalysis(pane, recorder);
    WriteSeed(out / "analysis", name, writer.Bytes());
}

sim::SimReader ReaderWith(const sim::CardDescription& card) {
    sim::SimReader reader;
    reader.name = "Zebrik Seed-Leser 0";
    reader.card = std::make_shared<sim::SimCard>(card);
    return reader;
}

std::string AtrText(std::span<const std::uint8_t> atr) {
    std::string text;
    for (std::uint8_t byte : atr) {
        if (!text.empty()) {
            text += ' ';
        }
        text += Format("%02X", byte);
    }
    return text;
}

std::vector<std::uint8_t> AtrListSeed(std::span<const std::uint8_t> atr, std::string_view list) {
    std::vector<std::uint8_t> seed;
    seed.push_back(static_cast<std::uint8_t>(atr.size()));
    seed.insert(seed.end(), atr.begin(), atr.end());
    seed.push_back(0xFF);
    seed.insert(seed.end(), list.begin(), list.end());
    return seed;
}

void WriteAtrListSeeds(const std::vector<sim::CardDescription>& cards, const char* smartcardList,
                       const fs::path& out) {
    std::string catalogue = "# Zebrik catalogue\n";
    for (const sim::CardDescription& card : cards) {
        catalogue += AtrText(card.atr) + "\n\t" + card.title + "\n\n";
    }
    catalogue +=
        "3B 02 14 .0\n\tGSM SIM (pattern)\n\n3B 8F 80 01 80 4F 0C A0 00 00 03 06 .*\n"
        "\tPC/SC part 3 card\n\n3B 0[2-4] [0-9A-F,]4 50\n\tclass\n\n";
    for (std::size_t i = 0; i < cards.size(); ++i) {
        WriteSeed(out / "atr_names", "catalogue-" + cards[i].name,
                  AtrListSeed(cards[i].atr, catalogue));
    }
    if (smartcardList == nullptr) {
        return;
    }
    // Pieces of about 4 KiB of the real list, cut at entry boundaries.
    std::ifstream file(smartcardList, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::size_t start = 0;
    for (int piece = 0; start < text.size() && piece < 64; ++piece) {
        std::size_t end = text.find("\n\n", std::min(start + 4096, text.size()));
        end = end == std::string::npos ? text.size() : end + 2;
        const auto& atr = cards[static_cast<std::size_t>(piece) % cards.size()].atr;
        WriteSeed(out / "atr_names", Format("smartcard-list-%02d", piece),
                  AtrListSeed(atr, std::string_view(text).substr(start, end - start)));
        start = end;
    }
}

// The bytes of a list line like "3B 02 14 50"; nothing for any other line.
std::vector<std::uint8_t> FixedAtr(const std::string& text) {
    std::vector<std::uint8_t> atr;
    for (std::size_t at = 0; at + 2 <= text.size(); at += 3) {
        const auto hex = [&](std::size_t i) { return std::isxdigit(text[i] & 0xFF) != 0; };
        if (!hex(at) || !hex(at + 1) || (at + 2 < text.size() && text[at + 2] != ' ')) {
            return {};
        }
        atr.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(at, 2), nullptr, 16)));
    }
    return atr.size() * 3 == text.size() + 1 ? atr : std::vector<std::uint8_t>{};
}

// The ATR decoder's seeds: the clock (4 bytes, 4000 kHz or none), then an ATR of the
// catalogue or every 16th fixed ATR of the real list.
void WriteAtrDecodeSeeds(const std::vector<sim::CardDescription>& cards, const char* smartcardList,
                         const fs::path& out) {
    std::vector<std::vector<std::uint8_t>> atrs;
    for (const sim::CardDescription& card : cards) {
        atrs.push_back(card.atr);
    }
    std::ifstream file(smartcardList == nullptr ? "" : smartcardList);
    int fixed = 0;
    for (std::string text; std::getline(file, text);) {
        std::vector<std::uint8_t> atr = FixedAtr(text);
        if (!atr.empty() && fixed++ % 16 == 0) {
            atrs.push_back(std::move(atr));
        }
    }
    for (std::size_t i = 0; i < atrs.size(); ++i) {
        std::vector<std::uint8_t> seed(4, 0);
        if (i % 2 == 0) {
            seed = {0xA0, 0x0F, 0x00, 0x00};
        }
        seed.insert(seed.end(), atrs[i].begin(), atrs[i].end());
        WriteSeed(out / "atr_decode", Format("atr-%03zu", i), seed);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: zebrik_fuzz_seeds OUTDIR [SMARTCARD_LIST]\n");
        return 2;
    }
    const fs::path out = argv[1];
    const std::vector<sim::CardDescription> cards = sim::AllCards(ZEBRIK_TEST_CARD_DIR);

    // One response of each length and first byte is variety enough; the large phone books
    // would otherwise bring a thousand records alike.
    std::map<std::pair<std::size_t, std::uint8_t>, std::vector<std::uint8_t>> responses;
    for (const sim::CardDescription& card : cards) {
        for (bool confirm : {true, false}) {
            for (auto& response : RecordDispatch(card, confirm, out)) {
                const auto key = std::make_pair(response.size(), response.front());
                responses.try_emplace(key, std::move(response));
            }
            RecordAnalysis({ReaderWith(card)}, confirm, card.name + (confirm ? "" : "-cancel"),
                           out);
        }
    }
    RecordAnalysis(sim::DemoReaders(), true, "demo-readers", out);

    // The parser targets start from what the cards answered.
    int n = 0;
    for (const auto& [key, data] : responses) {
        const std::string name = Format("response-%03d", n++);
        WriteSeed(out / "tlv", name, data);
        std::vector<std::uint8_t> record{static_cast<std::uint8_t>(data.size())};
        record.insert(record.end(), data.begin(), data.end());
        WriteSeed(out / "gsm_text", name, record);
        // The statuses of MF, DF and EF are 13 to 35 bytes long.
        if (data.size() >= 13 && data.size() <= 40) {
            for (std::uint8_t choice : {0, 1, 6, 7}) {
                std::vector<std::uint8_t> status{choice};
                status.insert(status.end(), data.begin(), data.end());
                WriteSeed(out / "file_status", name + Format("-%u", choice), status);
            }
        }
    }
    WriteAtrListSeeds(cards, argc == 3 ? argv[2] : nullptr, out);
    WriteAtrDecodeSeeds(cards, argc == 3 ? argv[2] : nullptr, out);
    std::printf("zebrik_fuzz_seeds: seeds of %zu cards and %zu responses in %s\n", cards.size(),
                responses.size(), out.c_str());
    return 0;
}
