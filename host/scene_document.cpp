// SPDX-License-Identifier: GPL-2.0-or-later
#include "host/scene_document.h"

#include "host/setting_values.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Key(CTSTR name) { return Utf16ToUtf8(name ? name : u""); }

// The deepest nesting of objects and arrays, counted outside strings.
int NestingDepth(const std::string& text) {
    int depth = 0, deepest = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            deepest = std::max(deepest, ++depth);
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return deepest;
}

void LineAndColumn(const std::string& text, size_t byte, size_t& line, size_t& column) {
    line = 1;
    column = 1;
    for (size_t i = 0; i < byte && i < text.size(); ++i) {
        if (text[i] == '\n') ++line, column = 1;
        else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++column;  // characters, not UTF-8 bytes
    }
}

SceneFileResult Failure(std::string message) { return {false, std::move(message)}; }

}  // namespace

JsonElement::JsonElement(SceneJson* root) : root_(root) {}

JsonElement::JsonElement(JsonElement* parent, std::string key) : parent_(parent), key_(std::move(key)) {}

SceneJson* JsonElement::Node() const {
    if (root_) return root_->is_object() ? root_ : nullptr;
    SceneJson* parent = parent_->Node();
    if (!parent) return nullptr;
    auto found = parent->find(key_);
    return found != parent->end() && found->is_object() ? &*found : nullptr;
}

String JsonElement::GetName() const { return String(key_.c_str()); }

const SceneJson* JsonElement::Item(CTSTR name) const {
    const SceneJson* node = Node();
    if (!node) return nullptr;
    auto found = node->find(Key(name));
    return found != node->end() ? &*found : nullptr;
}

bool JsonElement::HasItem(CTSTR name) const { return Item(name) != nullptr; }

int JsonElement::GetInt(CTSTR name, int defaultValue) const {
    const SceneJson* item = Item(name);
    if (!item) return defaultValue;
    if (item->is_number_integer() || item->is_number_unsigned())
        return static_cast<int>(static_cast<uint32_t>(item->get<int64_t>()));
    if (item->is_number_float()) return IntOfStoredDouble(item->get<double>(), defaultValue);
    if (item->is_boolean()) return item->get<bool>() ? 1 : 0;
    if (item->is_string()) return IntOfStoredText(item->get_ref<const std::string&>(), defaultValue);
    return defaultValue;
}

float JsonElement::GetFloat(CTSTR name, float defaultValue) const {
    const SceneJson* item = Item(name);
    if (!item) return defaultValue;
    if (item->is_number()) return FloatOfStoredDouble(item->get<double>(), defaultValue);
    if (item->is_boolean()) return item->get<bool>() ? 1.0f : 0.0f;
    if (item->is_string()) return FloatOfStoredText(item->get_ref<const std::string&>(), defaultValue);
    return defaultValue;
}

String JsonElement::GetString(CTSTR name, CTSTR defaultValue) const {
    const SceneJson* item = Item(name);
    if (!item) return String(defaultValue);
    if (item->is_string()) return String(item->get_ref<const std::string&>().c_str());
    if (item->is_boolean()) return String(item->get<bool>() ? u"1" : u"0");
    if (item->is_number_integer() || item->is_number_unsigned()) return String(item->dump().c_str());
    if (item->is_number_float()) return TextOfStoredDouble(item->get<double>(), defaultValue);
    return String(defaultValue);
}

void JsonElement::Set(CTSTR name, SceneJson value) {
    SceneJson* node = Node();
    if (node) (*node)[Key(name)] = std::move(value);
}

void JsonElement::SetInt(CTSTR name, int value) { Set(name, value); }
void JsonElement::SetFloat(CTSTR name, float value) { Set(name, FloatForStorage(value)); }
void JsonElement::SetString(CTSTR name, CTSTR value) { Set(name, Utf16ToUtf8(value ? value : u"")); }

JsonElement* JsonElement::Child(const std::string& key) {
    auto& child = children_[key];
    if (!child) child = std::make_unique<JsonElement>(this, key);
    return child.get();
}

XElement* JsonElement::GetElement(CTSTR name) {
    const SceneJson* item = Item(name);
    return item && item->is_object() ? Child(Key(name)) : nullptr;
}

XElement* JsonElement::CreateElement(CTSTR name) {
    SceneJson* node = Node();
    if (!node) return nullptr;
    const std::string key = Key(name);
    SceneJson& item = (*node)[key];
    if (!item.is_object()) item = SceneJson::object();
    return Child(key);
}

SceneDocument::SceneDocument() : json_(SceneJson::object()), root_(std::make_unique<JsonElement>(&json_)) {}

SceneFileResult SceneDocument::Load(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return Failure(path + ": cannot open: " + std::strerror(errno));
    if (!S_ISREG(info.st_mode)) return Failure(path + ": not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) return Failure(path + ": cannot open: " + std::strerror(errno));
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return Failure(path + ": cannot read");
    if (static_cast<size_t>(size) > kMaxFileBytes)
        return Failure(path + ": the file is " + std::to_string(size) + " bytes; scene files are limited to " +
                       std::to_string(kMaxFileBytes) + " bytes");
    in.seekg(0);
    std::string text(static_cast<size_t>(size), '\0');
    if (!in.read(text.data(), size)) return Failure(path + ": cannot read");
    return Parse(text, path);
}

SceneFileResult SceneDocument::Parse(const std::string& text, const std::string& name) {
    if (NestingDepth(text) > kMaxDepth)
        return Failure(name + ": nested deeper than " + std::to_string(kMaxDepth) + " levels");
    SceneJson parsed;
    try {
        parsed = SceneJson::parse(text);
    } catch (const SceneJson::parse_error& e) {
        size_t line, column;
        LineAndColumn(text, e.byte > 0 ? e.byte - 1 : 0, line, column);
        std::string what = e.what();
        const size_t colon = what.find(": ", what.find("parse error"));
        return Failure(name + ":" + std::to_string(line) + ":" + std::to_string(column) + ": malformed JSON" +
                       (colon != std::string::npos ? what.substr(colon) : ""));
    } catch (const SceneJson::out_of_range& e) {
        // A number too large for a double ("1e400"). The parser names the
        // number but not its place, so the first place it occurs is given.
        std::string what = e.what();
        const size_t quote = what.find('\'');
        const std::string number =
            quote == std::string::npos ? std::string() : what.substr(quote + 1, what.rfind('\'') - quote - 1);
        const size_t at = number.empty() ? std::string::npos : text.find(number);
        size_t line = 1, column = 1;
        if (at != std::string::npos) LineAndColumn(text, at, line, column);
        return Failure(name + ":" + std::to_string(line) + ":" + std::to_string(column) +
                       ": malformed JSON: number out of range: " + (number.empty() ? what : number));
    }
    if (!parsed.is_object()) return Failure(name + ": the top level must be a JSON object");
    json_ = std::move(parsed);
    return {true, {}};
}

SceneFileResult SceneDocument::Save(const std::string& path) const {
    const std::string text = json_.dump(2, ' ', false, SceneJson::error_handler_t::replace) + "\n";
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string temp = path + ".saving-XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return Failure(path + ": cannot write a temporary file in " + folder + ": " + std::strerror(errno));

    int error = 0;
    size_t written = 0;
    while (written < text.size() && !error) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n > 0) written += static_cast<size_t>(n);
        else if (n == 0) error = EIO;
        else if (errno != EINTR) error = errno;
    }
    if (!error && fsync(fd) != 0) error = errno;
    if (!error) {
        // The new file keeps the old one's permissions (mkostemp makes 0600).
        struct stat old {};
        fchmod(fd, stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    }
    if (close(fd) != 0 && !error) error = errno;
    if (error) {
        unlink(temp.c_str());
        return Failure(path + ": the save failed (" + std::strerror(error) + "); the old file is unchanged");
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        unlink(temp.c_str());
        return Failure(path + ": cannot replace the file: " + std::strerror(e) + "; the old file is unchanged");
    }
    // The rename itself reaches the disk only with the folder's entry; a
    // failure here leaves either the old or the new file whole, so it is not
    // reported.
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return {true, {}};
}
