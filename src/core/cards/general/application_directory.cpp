#include <algorithm>
#include <array>
#include <string>

#include "core/apdu/iso_commands.h"
#include "core/cards/general/general.h"
#include "core/cards/general/tlv.h"
#include "core/report/text.h"

namespace zebrik {
namespace {

constexpr std::size_t kMaxDirectoryRecords = 10;

constexpr auto kSelectDirGeneral = iso::SelectEf(0x2F, 0x00);

// The USIM variant asks for the file control parameters (P2 04), which a T=0 card
// announces with 61 xx; they are fetched and not used.
constexpr std::array<std::uint8_t, 4> kSelectMfUsim = {0x00, 0xA4, 0x00, 0x04};
constexpr std::array<std::uint8_t, 7> kSelectDirUsim = {0x00, 0xA4, 0x00, 0x04, 0x02, 0x2F, 0x00};
// ETSI TS 101 220: the RID of 3GPP and the application code of the USIM.
constexpr std::array<std::uint8_t, 7> kUsimAid = {0xA0, 0x00, 0x00, 0x00, 0x87, 0x10, 0x02};

struct DirectoryCommands {
    SendPci protocol;
    std::span<const std::uint8_t> selectMf;
    std::span<const std::uint8_t> selectDir;
    std::span<const std::uint8_t> filter;
};

DirectoryCommands CommandsOf(DirectoryVariant variant) {
    if (variant == DirectoryVariant::Usim) {
        return {SendPci::T0, kSelectMfUsim, kSelectDirUsim, kUsimAid};
    }
    return {SendPci::T1, iso::kSelectMf, kSelectDirGeneral, kHealthApplicationAid};
}

// The filter is compared over its full length within the AID's own bytes: an AID shorter
// than the filter never matches, since the bytes behind it belong to something else.
bool MatchesFilter(std::span<const std::uint8_t> aid, std::span<const std::uint8_t> filter) {
    return aid.size() >= filter.size() && std::equal(filter.begin(), filter.end(), aid.begin());
}

void ReportDirectoryRecord(ReportAndPrompt& pane, std::span<const std::uint8_t> record,
                           std::span<std::uint8_t> result, std::span<const std::uint8_t> filter,
                           std::size_t* resultLength) {
    const auto entry = ParseDirectoryRecord(record);
    if (!entry) {
        AppendReport(pane.report, "nicht ermittelbar\r\n");
        return;
    }
    if (!result.empty() && MatchesFilter(entry->aid, filter)) {
        const std::size_t n = std::min(entry->aid.size(), result.size());
        std::copy_n(entry->aid.begin(), n, result.begin());
        if (resultLength != nullptr) {
            *resultLength = entry->aid.size();
        }
    }
    // An AID or a label of up to 254 bytes makes a long line; it is shown whole.
    std::string line = "AID: ";
    AppendHexBytes(line, entry->aid);
    line += "\r\n";
    AppendReport(pane.report, line);
    if (entry->label) {
        std::string label = "Label: ";
        AppendCardText(label, *entry->label);
        label += "\r\n";
        AppendReport(pane.report, label);
    }
}

}  // namespace

int ReadApplicationDirectory(ReportAndPrompt& pane, const CardConnection& card,
                             std::span<std::uint8_t> result, DirectoryVariant variant,
                             std::size_t* resultLength) {
    const DirectoryCommands commands = CommandsOf(variant);
    ApduResponse response;
    if (SendCommand(pane, card, commands.protocol, commands.selectMf, response) == 0 ||
        SendCommand(pane, card, commands.protocol, commands.selectDir, response) == 0) {
        return 0;
    }
    std::fill(result.begin(), result.end(), std::uint8_t{0xFF});
    AppendReport(pane.report, "\r\nAnwendungen der Chipkarte...\r\n");
    for (std::size_t n = 1; n <= kMaxDirectoryRecords; ++n) {
        // A record that cannot be read is how the end of the directory shows.
        if (SendCommand(pane, card, commands.protocol,
                        iso::ReadRecord(static_cast<std::uint8_t>(n), iso::kWholeRecord),
                        response) == 0) {
            break;
        }
        AppendReport(pane.report, Format("\r\nAnwendung %u\r\n", static_cast<unsigned>(n)));
        ReportDirectoryRecord(pane, response.Data(), result, commands.filter, resultLength);
    }
    return 1;
}

}  // namespace zebrik
