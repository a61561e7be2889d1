// Where the hive files live and their REGEDIT4 text form.
//
// The text is "REGEDIT4", a blank line, then one section per key:
//
//     [HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32]
//     @="/usr/lib/quillan/libgraph.so"
//     "ThreadingModel"="Apartment"
//
// Sections are written depth first in insertion order, so a file read back
// rebuilds the same tree in the same order. Only string values exist here;
// inside quotes "\\" and "\"" are escaped, and so are line breaks ("\n",
// "\r") so that a value can never split its line.
#include "runtime/registry.h"

#include "runtime/text.h"

#include <cstdlib>
#include <string>

#include <pwd.h>
#include <unistd.h>

namespace qrt::registry {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";

// Number of non-empty "\"-separated names in path, counting no further
// than limit + 1.
size_t keyDepth(std::string_view path, size_t limit) {
    size_t depth = 0;
    bool inName = false;
    for (char c : path) {
        if (c == '\\') {
            inName = false;
        } else if (!inName) {
            inName = true;
            if (++depth > limit) break;
        }
    }
    return depth;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lowerAscii(text[i]) != lowerAscii(prefix[i])) return false;
    return true;
}

std::string_view trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

const char* envValue(const char* name) {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
}

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    out += '"';
}

void appendKey(std::string& out, const Key& key, std::string& path) {
    out += "\n[";
    out += path;
    out += "]\n";
    for (const auto& [name, value] : key.values()) {
        if (name.empty())
            out += '@';
        else
            appendQuoted(out, name);
        out += '=';
        appendQuoted(out, value);
        out += '\n';
    }
    for (const auto& child : key.children()) {
        size_t len = path.size();
        path += '\\';
        path += child->name();
        appendKey(out, *child, path);
        path.resize(len);
    }
}

// Reads a quoted string starting at text[pos] == '"'; on success pos is just
// past the closing quote.
bool readQuoted(std::string_view text, size_t& pos, std::string& out, const char** why) {
    out.clear();
    for (size_t i = pos + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == text.size()) break;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: *why = "bad escape sequence in a quoted string"; return false;
        }
    }
    *why = "unterminated quoted string";
    return false;
}

// Parses one value line ("Name"="text", @="text" or "Name"=dword:0000002a).
bool parseValueLine(std::string_view line, std::string& name, std::string& value, const char** why) {
    size_t pos = 0;
    if (line[0] == '@') {
        name.clear();
        pos = 1;
    } else if (!readQuoted(line, pos, name, why)) {
        return false;
    }
    std::string_view rest = trim(line.substr(pos));
    if (rest.empty() || rest[0] != '=') {
        *why = "expected '=' after the value name";
        return false;
    }
    rest = trim(rest.substr(1));
    if (!rest.empty() && rest[0] == '"') {
        size_t end = 0;
        if (!readQuoted(rest, end, value, why)) return false;
        if (!trim(rest.substr(end)).empty()) {
            *why = "text after the closing quote";
            return false;
        }
        return true;
    }
    if (startsWithNoCase(rest, "dword:")) {
        std::string_view digits = rest.substr(6);
        unsigned long n = 0;
        bool ok = !digits.empty() && digits.size() <= 8;
        for (char c : digits) {
            int d = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
            if (d < 0) ok = false;
            n = n * 16 + static_cast<unsigned>(d < 0 ? 0 : d);
        }
        if (!ok) {
            *why = "bad dword value";
            return false;
        }
        value = std::to_string(n);
        return true;
    }
    *why = rest.empty() || rest[0] != '-' ? "unsupported value type" : "value deletion lines are not supported";
    return false;
}

// A line of hex bytes continuing a value: "  00,3a,5c,\".
bool isHexContinuation(std::string_view line) {
    if (line.empty()) return false;
    for (char c : line) {
        bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ',' ||
                  c == ' ' || c == '\\';
        if (!ok) return false;
    }
    return true;
}

std::string directoryFromEnvironment() {
    if (const char* dir = envValue("QUILLAN_REGISTRY_DIR")) return dir;
    // A relative XDG_CONFIG_HOME is to be ignored.
    if (const char* config = envValue("XDG_CONFIG_HOME"); config && config[0] == '/')
        return std::string(config) + "/quillan";
    std::string home;
    if (const char* h = envValue("HOME")) {
        home = h;
    } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    }
    return home + "/.config/quillan";
}

}  // namespace

namespace detail {

std::string serializeTree(const Key& root, Hive hive) {
    std::string out(kHeader);
    out += '\n';
    std::string path = hiveName(hive);
    // The hive's own section only when the root carries values; its subkeys
    // each start their own section anyway.
    if (!root.values().empty()) {
        appendKey(out, root, path);
        return out;
    }
    for (const auto& child : root.children()) {
        path = hiveName(hive);
        path += '\\';
        path += child->name();
        appendKey(out, *child, path);
    }
    return out;
}

bool parseText(std::string_view input, Hive hive, Key& root, std::string* error) {
    std::string normalized;
    if (!isValidUtf8(input)) {
        normalized = normalizeToUtf8(input);
        input = normalized;
    }
    if (input.substr(0, 3) == "\xEF\xBB\xBF") input.remove_prefix(3);

    size_t firstBadLine = 0, badLines = 0;
    const char* firstReason = nullptr;
    auto damage = [&](size_t lineNo, const char* why) {
        if (badLines++ == 0) {
            firstBadLine = lineNo;
            firstReason = why;
        }
    };

    const std::string_view hiveText = hiveName(hive);
    bool seenHeader = false;
    bool inHexData = false;     // skipping the continuation lines of a hex value
    Key* current = nullptr;
    bool inBadSection = false;  // values under a key line that was rejected
    std::string name, value;
    size_t lineNo = 0;
    for (size_t pos = 0; pos < input.size();) {
        size_t nl = input.find('\n', pos);
        std::string_view line = input.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? input.size() : nl + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        line = trim(line);
        if (inHexData) {
            inHexData = isHexContinuation(line);
            if (inHexData) {
                inHexData = line.back() == '\\';
                continue;
            }
        }
        if (line.empty() || line[0] == ';') continue;
        if (!seenHeader) {
            seenHeader = true;
            if (line == kHeader) continue;
            damage(lineNo, "missing REGEDIT4 header");
        }
        if (line[0] == '[') {
            inBadSection = true;
            current = nullptr;
            if (line.back() != ']') {
                damage(lineNo, "unterminated key line");
                continue;
            }
            std::string_view path = line.substr(1, line.size() - 2);
            if (!path.empty() && path[0] == '-') {
                damage(lineNo, "key deletion lines are not supported");
                continue;
            }
            if (!startsWithNoCase(path, hiveText) ||
                (path.size() > hiveText.size() && path[hiveText.size()] != '\\')) {
                damage(lineNo, "key outside this hive");
                continue;
            }
            // A key thousands of levels down would overflow the stack of every
            // program that reads the file.
            if (keyDepth(path.substr(hiveText.size()), kMaxKeyDepth) > kMaxKeyDepth) {
                damage(lineNo, "key nested too deeply");
                continue;
            }
            // A carriage return inside the line (not ending it) would be part
            // of a key name, and a tree holding such a name cannot be written
            // back: every later change of the hive would fail.
            if (path.find('\r') != std::string_view::npos) {
                damage(lineNo, "line break inside a key name");
                continue;
            }
            current = &root.create(path.substr(hiveText.size()));
            inBadSection = false;
            continue;
        }
        if (line[0] == '@' || line[0] == '"') {
            const char* why = nullptr;
            if (!parseValueLine(line, name, value, &why)) {
                // A hex value may go on over the next lines; those go with it.
                inHexData = line.back() == '\\';
                damage(lineNo, why);
            } else if (current) {
                current->setValue(name, std::move(value));
            } else if (!inBadSection) {
                damage(lineNo, "value before any key");
            } else {
                ++badLines;
            }
            continue;
        }
        damage(lineNo, "unreadable line");
    }

    if (badLines == 0) {
        if (error) error->clear();
        return true;
    }
    if (error) {
        *error = "line " + std::to_string(firstBadLine) + ": " + firstReason;
        if (badLines > 1) *error += " (" + std::to_string(badLines) + " damaged lines skipped)";
    }
    return false;
}

}  // namespace detail

const char* hiveName(Hive hive) {
    return hive == Hive::ClassesRoot ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER";
}

// Out of memory is the only thing that can go wrong below; it is reported as
// an empty result rather than thrown.

std::string directory() {
    try {
        return directoryFromEnvironment();
    } catch (...) {
        return {};
    }
}

std::string hiveFile(Hive hive) {
    try {
        std::string dir = directoryFromEnvironment();
        return dir + (hive == Hive::ClassesRoot ? "/classes.reg" : "/user.reg");
    } catch (...) {
        return {};
    }
}

std::string serialize(const Key& root, Hive hive) {
    try {
        return detail::serializeTree(root, hive);
    } catch (...) {
        return {};
    }
}

bool parse(std::string_view text, Hive hive, Key& root, std::string* error) {
    try {
        return detail::parseText(text, hive, root, error);
    } catch (...) {
        try {
            if (error) *error = "out of memory";
        } catch (...) {
        }
        return false;
    }
}

}  // namespace qrt::registry
