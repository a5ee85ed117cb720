#pragma once
// Our logging library behind CoreLogPrintLog: formats the line and hands it to a settable sink.
#include <functional>
#include <string>

namespace orvexhost {

struct LogLine {
    std::string module;
    int level = 0;
    std::string location;
    std::string message;
};

using LogSink = std::function<void(const LogLine&)>;

// Replaces the sink; an empty sink restores the default (stderr for lines at or above the
// threshold). Returns the previous sink.
LogSink SetLogSink(LogSink sink);
// Lines below this level are dropped by the default sink (default 5: only level 6 is printed).
void SetLogThreshold(int level);
int GetLogThreshold();

}  // namespace orvexhost
