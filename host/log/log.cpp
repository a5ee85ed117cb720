#include "host/log/log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#include "corelog.h"

namespace orvexhost {
namespace {

std::mutex g_mutex;
LogSink g_sink;
int g_threshold = 5;

void DefaultSink(const LogLine& line) {
    if (line.level < g_threshold) return;
    std::fprintf(stderr, "[%s %d] %s: %s\n", line.module.c_str(), line.level, line.location.c_str(),
                 line.message.c_str());
}

}  // namespace

LogSink SetLogSink(LogSink sink) {
    std::lock_guard<std::mutex> lock(g_mutex);
    LogSink previous = std::move(g_sink);
    g_sink = std::move(sink);
    return previous;
}

void SetLogThreshold(int level) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_threshold = level;
}

int GetLogThreshold() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_threshold;
}

}  // namespace orvexhost

extern "C" void CoreLogPrintLog(const char* module, int level, const char* location, int, int, int,
                                const char* format, ...) {
    orvexhost::LogLine line;
    line.module = module ? module : "";
    line.level = level;
    line.location = location ? location : "";
    if (format) {
        va_list args;
        va_start(args, format);
        va_list copy;
        va_copy(copy, args);
        int n = std::vsnprintf(nullptr, 0, format, copy);
        va_end(copy);
        if (n > 0) {
            std::vector<char> buf(static_cast<size_t>(n) + 1);
            std::vsnprintf(buf.data(), buf.size(), format, args);
            line.message.assign(buf.data(), static_cast<size_t>(n));
        }
        va_end(args);
    }
    std::lock_guard<std::mutex> lock(orvexhost::g_mutex);
    if (orvexhost::g_sink) {
        orvexhost::g_sink(line);
    } else {
        orvexhost::DefaultSink(line);
    }
}
