#pragma once
// Captures every CoreLogPrintLog line while in scope.
#include <string>
#include <vector>

#include "host/log/log.h"

namespace orvextest {

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<orvexhost::LogLine>& lines() const { return lines_; }
    // True when a line with exactly this message (and, if given, location and level) was logged.
    bool Has(const std::string& message, const std::string& location = "", int level = -1) const;
    size_t Count(const std::string& message) const;
    void Clear() { lines_.clear(); }
    std::string Dump() const;

private:
    std::vector<orvexhost::LogLine> lines_;
    orvexhost::LogSink previous_;
};

}  // namespace orvextest
