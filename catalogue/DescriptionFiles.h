#pragma once
// Reading description files from disk, shared by the catalogue and EffectDescription. Paths are
// UTF-8 byte strings handed to the file system unchanged.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "orvex/EffectDescription.h"

namespace orvex::descfile {

// Reads a whole regular file. A missing path, a folder or a FIFO (which would block the reader
// forever) fails instead of being opened.
inline bool ReadRegularFile(const std::string& path, std::string& text) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(path), ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Malformed text (including bytes that are not UTF-8 inside strings) gives a null document.
inline JsonDocument ParseJsonOrNull(const std::string& text) {
    try {
        JsonDocument doc = JsonDocument::parse(text, nullptr, false);
        if (doc.is_discarded()) return nullptr;
        return doc;
    } catch (const std::exception&) {
        return nullptr;
    }
}

// The member `key` of an object document, or null when the document is not an object or lacks it.
inline const JsonDocument* Member(const JsonDocument& doc, const char* key) {
    if (!doc.is_object()) return nullptr;
    auto it = doc.find(key);
    return it == doc.end() ? nullptr : &*it;
}

// The folder part of a file path, up to and including its last separator; "" when it has none.
inline std::string FolderOf(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

}  // namespace orvex::descfile
