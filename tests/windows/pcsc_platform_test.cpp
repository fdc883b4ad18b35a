#include "pcsc/pcsc_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>

// The names of Windows' ANSI functions into the report's UTF-8 and back. Wine's ANSI code
// page for the tests' locale is Windows-1252, as a German Windows has it.
namespace zebrik::pcsc {
namespace {

TEST(PcscPlatformWindowsTest, NamesComeInTheAnsiCodePageAndLeaveAsUtf8) {
    // As the resource manager filled the buffer, the buffer's room, whether the UTF-8 fits it.
    const std::tuple<std::string, std::size_t, bool, std::string> cases[] = {
        {std::string("Leser\0", 6), 16, true, std::string("Leser\0\0", 7)},
        {std::string("M\xFCller \x80\0B\0\0", 12), 32, true,
         std::string("M\xC3\xBCller \xE2\x82\xAC\0B\0\0", 15)},
        {std::string("\xE4\xE4\xE4\0\0", 5), 7, false, ""},  // 6 bytes of UTF-8 and two NULs
        {std::string("\0\0", 2), 2, true, std::string("\0", 1)},
    };
    for (const auto& [received, room, fits, utf8] : cases) {
        std::array<char, 32> buffer{};
        std::copy(received.begin(), received.end(), buffer.begin());
        std::uint32_t length = static_cast<std::uint32_t>(received.size());
        ASSERT_EQ(NamesToUtf8(std::span(buffer).first(room), length), fits) << received;
        if (fits) {
            EXPECT_EQ(std::string(buffer.data(), length), utf8) << received;
        }
    }
    EXPECT_EQ(NameForResourceManager("M\xC3\xBCller \xE2\x82\xAC"), "M\xFCller \x80");
}

}  // namespace
}  // namespace zebrik::pcsc
