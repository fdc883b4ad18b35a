#include "core/report/pcsc_errors.h"

#include <array>
#include <string_view>

#include "core/report/text.h"

namespace zebrik {
namespace {

// A platform text is one line of the report: what goes beyond 259 bytes is cut, so that a
// message source that hands over a page cannot flood the report with it.
constexpr std::size_t kMaxPlatformTextBytes = 259;

struct ErrorText {
    ResultCode code;
    std::string_view text;
};

// Used only when the platform has no text of its own. The three small codes are
// operating-system codes that a reader driver hands through the resource manager.
constexpr std::array<ErrorText, 9> kErrorTexts = {{
    {kScardESharingViolation,
     "Auf die Smartcard kann aufgrund anderer ausstehender Verbindungen nicht zugegriffen "
     "werden.\r\n"},
    {kScardENoService, "Die Smartcard-Ressourcenverwaltung wird nicht ausgeführt.\r\n"},
    {kScardENoReadersAvailable, "Es wurde kein Smartcardleser gefunden.\r\n"},
    {kScardECommDataLost,
     "Es wurde ein Smartcard-Kommunikationsfehler ermittelt. Wiederholen Sie den Vorgang.\r\n"},
    {kScardWUnresponsiveCard, "Die Smartcard konnte nicht zurückgesetzt werden.\r\n"},
    {kScardWRemovedCard,
     "Es ist keine weitere Kommunikation möglich, da die Smartcard entfernt wurde.\r\n"},
    {kErrorIoDevice,
     "Die Anforderung konnte wegen eines E/A-Gerätefehlers nicht ausgeführt werden.\r\n"},
    {kErrorBadCommand, "Das Gerät erkennt den Befehl nicht.\r\n"},
    {kErrorCrc, "Datenfehler (CRC-Prüfung)\r\n"},
}};

class NoMessages : public PlatformMessages {
public:
    std::optional<std::string> Lookup(ResultCode) const override { return std::nullopt; }
};

}  // namespace

const PlatformMessages& NoPlatformMessages() {
    static const NoMessages none;
    return none;
}

std::string PcscErrorText(ResultCode code, const PlatformMessages& platform) {
    // The platform's own text, unchanged, comes first; it carries its own line end.
    if (const std::optional<std::string> text = platform.Lookup(code); text && !text->empty()) {
        return std::string(CutUtf8(*text, {.bytes = kMaxPlatformTextBytes}));
    }
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code) {
            return std::string(entry.text);
        }
    }
    return Format("Fehler 0x%08X\r\n", static_cast<unsigned>(code));
}

void ReportPcscError(Report& report, ResultCode code, const PlatformMessages& platform) {
    AppendReport(report, PcscErrorText(code, platform));
}

}  // namespace zebrik
