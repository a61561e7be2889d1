#include "scripting/paths.h"

#include "runtime/text.h"

#include <QChar>

#include <unistd.h>

#include <vector>

namespace scripting::paths {

namespace {

// The path without trailing separators, unless it is nothing but separators.
std::u16string_view trimmed(std::u16string_view path) {
    std::size_t end = path.size();
    while (end > 1 && isSeparator(path[end - 1])) --end;
    return path.substr(0, end);
}

std::size_t lastSeparator(std::u16string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1])) return i - 1;
    }
    return std::u16string_view::npos;
}

char16_t folded(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    return static_cast<char16_t>(QChar::toCaseFolded(static_cast<char32_t>(c)));
}

}  // namespace

std::u16string withSlashes(std::u16string_view path) {
    std::u16string out(path);
    for (char16_t& c : out) {
        if (c == u'\\') c = u'/';
    }
    return out;
}

std::u16string fileName(std::u16string_view path) {
    std::u16string_view p = trimmed(path);
    if (p.size() == 1 && isSeparator(p[0])) return {};
    const std::size_t at = lastSeparator(p);
    return std::u16string(at == std::u16string_view::npos ? p : p.substr(at + 1));
}

std::u16string baseName(std::u16string_view path) {
    std::u16string name = fileName(path);
    const std::size_t dot = name.rfind(u'.');
    if (dot != std::u16string::npos) name.erase(dot);
    return name;
}

std::u16string extensionName(std::u16string_view path) {
    std::u16string name = fileName(path);
    const std::size_t dot = name.rfind(u'.');
    return dot == std::u16string::npos ? std::u16string() : name.substr(dot + 1);
}

std::u16string parentFolderName(std::u16string_view path) {
    std::u16string_view p = trimmed(path);
    const std::size_t at = lastSeparator(p);
    if (at == std::u16string_view::npos) return {};
    if (p.size() == 1) return {};  // the root has no parent
    std::size_t end = at;
    while (end > 0 && isSeparator(p[end - 1])) --end;
    if (end == 0) return std::u16string(1, p[0]);  // "/name": the root
    return std::u16string(p.substr(0, end));
}

std::u16string currentFolder() {
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE || buffer.size() > (1u << 20)) return u"/";
        buffer.resize(buffer.size() * 2);
    }
    return fromNative(buffer.data());
}

std::u16string absolutePath(std::u16string_view path, std::u16string_view folder) {
    std::u16string whole = (!path.empty() && isSeparator(path[0])) ? std::u16string(path)
                                                                   : std::u16string(folder) + u"/" + std::u16string(path);
    std::vector<std::u16string> parts;
    std::size_t i = 0;
    while (i < whole.size()) {
        while (i < whole.size() && isSeparator(whole[i])) ++i;
        std::size_t j = i;
        while (j < whole.size() && !isSeparator(whole[j])) ++j;
        std::u16string part = whole.substr(i, j - i);
        i = j;
        if (part.empty() || part == u".") continue;
        if (part == u"..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(std::move(part));
    }
    if (parts.empty()) return u"/";
    std::u16string out;
    for (const std::u16string& part : parts) out += u"/" + part;
    return out;
}

std::u16string buildPath(std::u16string_view path, std::u16string_view name) {
    if (path.empty()) return std::u16string(name);
    if (name.empty()) return std::u16string(path);
    std::size_t end = path.size();
    while (end > 1 && isSeparator(path[end - 1])) --end;
    std::size_t start = 0;
    while (start < name.size() && isSeparator(name[start])) ++start;
    std::u16string out(path.substr(0, end));
    if (!isSeparator(out.back())) out += u'/';
    out += name.substr(start);
    return out;
}

std::string toNative(std::u16string_view path) { return qrt::encodeUtf8(withSlashes(path)); }

std::u16string fromNative(std::string_view path) { return qrt::decodeAnsi(path); }

bool hasWildcards(std::u16string_view name) { return name.find_first_of(u"*?") != std::u16string_view::npos; }

bool matchesWildcard(std::u16string_view pattern, std::u16string_view name) {
    // Iterative matching with one point to return to after a "*".
    std::size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || folded(pattern[p]) == folded(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

}  // namespace scripting::paths
