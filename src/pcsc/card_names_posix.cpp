#include "pcsc/card_names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "pcsc/card_name_multi_string.h"
#include "pcsc/card_name_scan.h"

namespace zebrik {
namespace {

class OpenFile {
public:
    // Non-blocking, so that a FIFO in the list's place cannot hold the query up.
    explicit OpenFile(const std::string& path)
        : descriptor_(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~OpenFile() {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    bool IsRegularFile() const {
        struct stat status {};
        return descriptor_ >= 0 && fstat(descriptor_, &status) == 0 && S_ISREG(status.st_mode);
    }
    int Descriptor() const { return descriptor_; }

private:
    int descriptor_;
};

// Reads the list to its end, or until no later line can add a name. False on a read error.
bool ScanFile(int descriptor, CardNameScan& scan) {
    // The size costs twice: each new page of it costs a page fault in the first lookup of a
    // run, each block a read call. 16 KiB took least time here, with page faults of about
    // 10 us and calls of about 1 us (a virtual machine).
    std::array<char, 16 * 1024> block;
    for (;;) {
        const ssize_t got = read(descriptor, block.data(), block.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0 || !scan.Feed(std::string_view(block.data(), static_cast<std::size_t>(got)))) {
            scan.Finish();
            return true;
        }
    }
}

}  // namespace

ResultCode ListCardNames(const std::string& listPath, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length) {
    const OpenFile list(listPath);
    if (!list.IsRegularFile()) {
        return kScardEUnsupportedFeature;
    }
    const std::size_t room = std::min<std::size_t>(length, names.size());
    if (room == 0) {
        return kScardEInsufficientBuffer;
    }
    CardNameMultiString found(room);
    CardNameScan scan(atr, found);
    if (!ScanFile(list.Descriptor(), scan)) {
        return kScardEUnsupportedFeature;
    }
    length = static_cast<std::uint32_t>(found.CopyTo(names.first(room)));
    return kScardSuccess;
}

}  // namespace zebrik
