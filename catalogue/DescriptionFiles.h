#pragma once
// Reading description files from disk, shared by the catalogue and EffectDescription. Paths are
// UTF-8 byte strings handed to the file system unchanged.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "corelog.h"
#include "orvex/EffectDescription.h"

namespace orvex::descfile {

// Description files are a few kilobytes. A file far larger is not one, and reading it whole (and
// parsing it, at several times its size) could take the host's memory with it.
inline constexpr uintmax_t kMaxDescriptionBytes = 16u << 20;

// Reads a whole regular file of at most maxBytes. A missing path, a folder, a FIFO (which would
// block the reader forever) or a larger file fails instead of being read.
inline bool ReadRegularFile(const std::string& path, std::string& text, uintmax_t maxBytes = kMaxDescriptionBytes) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(path), ec)) return false;
    const uintmax_t size = std::filesystem::file_size(std::filesystem::path(path), ec);
    std::ifstream in(path, std::ios::binary);
    if (ec || !in) return false;
    // The size is checked again while reading: the file may grow after it was measured.
    std::string data;
    char chunk[65536];
    while (size <= maxBytes && data.size() <= maxBytes && (in.read(chunk, sizeof chunk) || in.gcount() > 0))
        data.append(chunk, static_cast<size_t>(in.gcount()));
    if (size > maxBytes || data.size() > maxBytes) {
        ORVEX_LOG(4, "orvex::ReadRegularFile", "file: %s is larger than %ju bytes", path.c_str(), maxBytes);
        return false;
    }
    if (in.bad()) return false;
    text.swap(data);
    return true;
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

// True when `name`, a file named by a description in `folder`, resolves inside that folder or
// inside `root` (where shared files such as the blend shader live; "" for none). Resource trees
// can come from downloads: a name that leaves both through "..", an absolute path or a symbolic
// link is refused. Symbolic links are followed as far as the path exists, then read as written.
inline bool ResolvesInside(const std::string& folder, const std::string& name, const std::string& root) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file = fs::weakly_canonical(fs::path(folder) / fs::path(name), ec);
    if (ec || name.empty()) return false;
    for (const std::string* base : {&folder, &root}) {
        if (base->empty()) continue;
        fs::path inside = fs::weakly_canonical(fs::path(*base), ec);
        if (ec) continue;
        if (inside.filename().empty()) inside = inside.parent_path();  // a trailing separator
        auto [b, f] = std::mismatch(inside.begin(), inside.end(), file.begin(), file.end());
        if (b == inside.end() && f != file.end()) return true;
    }
    return false;
}

}  // namespace orvex::descfile
