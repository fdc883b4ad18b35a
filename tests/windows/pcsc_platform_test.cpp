#include "pcsc/pcsc_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

// The names of Windows' ANSI functions into the report's UTF-8 and back. Wine's ANSI code
// page for the tests' locale is Windows-1252, as a German Windows has it.
namespace zebrik::pcsc {
namespace {

struct NamesCase {
    std::string received;  // as the resource manager filled the buffer
    std::size_t room;
    bool fits;
    std::string utf8;
};

TEST(PcscPlatformWindowsTest, NamesComeInTheAnsiCodePageAndLeaveAsUtf8) {
    const NamesCase cases[] = {
        {std::string("Leser\0", 6), 16, true, std::string("Leser\0\0", 7)},
        {std::string("M\xFCller \x80\0B\0\0", 12), 32, true,
         std::string("M\xC3\xBCller \xE2\x82\xAC\0B\0\0", 15)},
        {std::string("\xE4\xE4\xE4\0\0", 5), 7, false, ""},  // 6 bytes of UTF-8 and two NULs
        {std::string("\0\0", 2), 2, true, std::string("\0", 1)},
    };
    for (const NamesCase& c : cases) {
        std::array<char, 32> buffer{};
        std::copy(c.received.begin(), c.received.end(), buffer.begin());
        std::uint32_t length = static_cast<std::uint32_t>(c.received.size());
        ASSERT_EQ(NamesToUtf8(std::span(buffer).first(c.room), length), c.fits) << c.received;
        if (c.fits) {
            EXPECT_EQ(std::string(buffer.data(), length), c.utf8) << c.received;
        }
    }
    EXPECT_EQ(NameForResourceManager("M\xC3\xBCller \xE2\x82\xAC"), "M\xFCller \x80");
}

}  // namespace
}  // namespace zebrik::pcsc
