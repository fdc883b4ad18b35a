#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "core/analysis/command_trace.h"

namespace zebrik::cli {

// The command trace in a file, or on standard error for "-". Every line is flushed as it
// is written; a line that cannot be written does not stop the run, it only shows in
// Written().
class TraceFile : public TraceSink {
public:
    // Null when the file cannot be opened (created, or emptied if it exists).
    static std::unique_ptr<TraceFile> Open(const std::string& path);
    ~TraceFile() override;
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    void WriteLine(std::string_view line) override;
    // Whether the trace goes to standard error, which it may share with the terminal.
    bool OnStandardError() const { return stream_ == stderr; }
    // Flushes and closes a file; false if any line or the close failed.
    bool Finish();

private:
    explicit TraceFile(std::FILE* stream) : stream_(stream) {}

    std::FILE* stream_;
    bool written_ = true;
};

}  // namespace zebrik::cli
