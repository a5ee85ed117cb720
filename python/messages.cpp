#include "messages.h"

#include <atomic>
#include <cstdio>

#include "host/log/log.h"

namespace orvexpy {

namespace py = pybind11;

namespace {

thread_local std::string t_lines;
std::atomic<int> g_printFrom{7};

}  // namespace

void ClearLibraryMessages() { t_lines.clear(); }

std::string LibraryMessages() { return t_lines; }

void AddErrors(py::module_& m) {
    // Error lines are kept for the exception of the call that caused them. Python programs report
    // errors through exceptions, so nothing is printed; set_log_level(n) prints lines from level n.
    // The sink runs under the log's own lock: it must not call back into the log.
    orvexhost::SetLogSink([](const orvexhost::LogLine& line) {
        if (line.level >= 6 && t_lines.size() < 4096) t_lines += "; " + line.message;
        if (line.level >= g_printFrom.load(std::memory_order_relaxed))
            std::fprintf(stderr, "[%s %d] %s: %s\n", line.module.c_str(), line.level, line.location.c_str(),
                         line.message.c_str());
    });
    m.def(
        "set_log_level", [](int level) { g_printFrom = level; }, py::arg("level"),
        "Prints the library's log lines from this level up on stderr (6: errors only; 7, the default: none).");

    static py::exception<RenderFailure> renderError(m, "RenderError", PyExc_RuntimeError);
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const RenderFailure& failure) {
            py::object error = py::reinterpret_borrow<py::object>(renderError.ptr())(failure.message);
            error.attr("code") = failure.code;
            PyErr_SetObject(renderError.ptr(), error.ptr());
        }
    });
}

}  // namespace orvexpy
