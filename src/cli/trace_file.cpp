#include "cli/trace_file.h"

#include "cli/console.h"

namespace zebrik::cli {

std::unique_ptr<TraceFile> TraceFile::Open(const std::string& path) {
    std::FILE* stream = path == "-" ? stderr : OpenTraceFile(path);
    if (stream == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<TraceFile>(new TraceFile(stream));
}

TraceFile::~TraceFile() {
    Finish();
}

void TraceFile::WriteLine(std::string_view line) {
    if (stream_ == nullptr) {
        return;
    }
    if (std::fwrite(line.data(), 1, line.size(), stream_) != line.size() ||
        std::fputc('\n', stream_) == EOF || std::fflush(stream_) != 0) {
        written_ = false;
    }
}

bool TraceFile::Finish() {
    if (stream_ != nullptr && stream_ != stderr && std::fclose(stream_) != 0) {
        written_ = false;
    }
    stream_ = nullptr;
    return written_;
}

}  // namespace zebrik::cli
