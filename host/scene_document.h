// SPDX-License-Identifier: GPL-2.0-or-later
// Scene data kept as a JSON document, and the XElement views into it that
// the host hands to plug-ins. Loading never touches the file; saving goes
// through a temporary file and a rename, so a failed save leaves the old
// file whole.
#pragma once

#include "host/xelement.h"

#include <nlohmann/json.hpp>

#include <map>
#include <memory>
#include <string>

using SceneJson = nlohmann::ordered_json;

// A view of one object in the document. The view finds its object again from
// its parent by key on every access: objects move when keys are added beside
// them, and a view must stay usable for the life of the document. When its
// object is gone (removed, or replaced by a plain value) reads give the
// defaults and writes do nothing.
class JsonElement final : public XElement {
public:
    explicit JsonElement(SceneJson* root);
    JsonElement(JsonElement* parent, std::string key);

    String GetName() const override;
    bool HasItem(CTSTR name) const override;
    int GetInt(CTSTR name, int defaultValue) const override;
    float GetFloat(CTSTR name, float defaultValue) const override;
    String GetString(CTSTR name, CTSTR defaultValue) const override;
    void SetInt(CTSTR name, int value) override;
    void SetFloat(CTSTR name, float value) override;
    void SetString(CTSTR name, CTSTR value) override;
    XElement* GetElement(CTSTR name) override;
    XElement* CreateElement(CTSTR name) override;

    // The object this view stands for, or null when it is gone.
    SceneJson* Node() const;

private:
    const SceneJson* Item(CTSTR name) const;
    void Set(CTSTR name, SceneJson value);
    JsonElement* Child(const std::string& key);

    SceneJson* root_ = nullptr;
    JsonElement* parent_ = nullptr;
    std::string key_;
    std::map<std::string, std::unique_ptr<JsonElement>> children_;
};

struct SceneFileResult {
    bool ok = false;
    // Names the file; parse errors read "file:line:column: malformed JSON: ..."
    // with the line and column counted from 1 and the column in characters.
    std::string error;
};

class SceneDocument {
public:
    SceneDocument();
    SceneDocument(const SceneDocument&) = delete;
    SceneDocument& operator=(const SceneDocument&) = delete;

    // Files larger than this or nested deeper are refused.
    static constexpr size_t kMaxFileBytes = 64u << 20;
    static constexpr int kMaxDepth = 128;

    // Replaces the document with the file's; on failure the document is left
    // as it was. The top level must be an object.
    SceneFileResult Load(const std::string& path);
    SceneFileResult Parse(const std::string& text, const std::string& nameForErrors);
    // Writes the document atomically (UTF-8, indented).
    SceneFileResult Save(const std::string& path) const;

    XElement* Root() { return root_.get(); }
    SceneJson& Json() { return json_; }

private:
    SceneJson json_;
    std::unique_ptr<JsonElement> root_;
};
