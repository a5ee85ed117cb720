#include "log_capture.h"

namespace orvextest {

LogCapture::LogCapture() {
    previous_ = orvexhost::SetLogSink([this](const orvexhost::LogLine& line) { lines_.push_back(line); });
}

LogCapture::~LogCapture() { orvexhost::SetLogSink(std::move(previous_)); }

bool LogCapture::Has(const std::string& message, const std::string& location, int level) const {
    for (const auto& l : lines_) {
        if (l.message == message && (location.empty() || l.location == location) && (level < 0 || l.level == level))
            return true;
    }
    return false;
}

size_t LogCapture::Count(const std::string& message) const {
    size_t n = 0;
    for (const auto& l : lines_) n += l.message == message;
    return n;
}

std::string LogCapture::Dump() const {
    std::string s;
    for (const auto& l : lines_) {
        s += "[" + l.module + " " + std::to_string(l.level) + "] " + l.location + ": " + l.message + "\n";
    }
    return s;
}

}  // namespace orvextest
