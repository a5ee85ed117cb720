#pragma once
// Errors of the module as Python exceptions carrying the library's own words: the library's log
// lines are kept per thread while a call runs, and a failed render becomes orvex.RenderError (a
// RuntimeError) with the result code.
#include <string>

#include <pybind11/pybind11.h>

namespace orvexpy {

// Thrown inside the module; reaches Python as orvex.RenderError with .code set.
struct RenderFailure {
    int code;
    std::string message;
};

// Collects the library's error lines (level 6) of the calling thread from here on.
void ClearLibraryMessages();
// Those lines, each after "; ", or empty.
std::string LibraryMessages();

// Installs the log capture and registers orvex.RenderError.
void AddErrors(pybind11::module_& m);

}  // namespace orvexpy
