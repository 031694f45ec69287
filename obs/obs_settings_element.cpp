// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/obs_settings_element.h"

#include "host/setting_values.h"

#include <cstdint>
#include <utility>

namespace {

std::string Key(CTSTR name) { return Utf16ToUtf8(name ? name : u""); }

struct ItemDeleter {
    void operator()(obs_data_item_t* item) const { obs_data_item_release(&item); }
};
using ItemPtr = std::unique_ptr<obs_data_item_t, ItemDeleter>;

// The item under `name` when it holds a value set by the plug-in, OBS or a
// default; null otherwise.
ItemPtr Item(obs_data_t* data, CTSTR name) {
    ItemPtr item(obs_data_item_byname(data, Key(name).c_str()));
    if (item && !obs_data_item_has_user_value(item.get()) && !obs_data_item_has_default_value(item.get()))
        item.reset();
    return item;
}

// Whether `data` holds `name` as exactly this value, in this type. The item
// is released before these return: obs_data_set_* move an item into a larger
// block when it grows (its first user value beside a default, a longer
// text, another type), and a reference to the old block released after such
// a write decrements a counter in freed memory. When the block had been
// handed out again meanwhile, to the next item written, that item was
// destroyed under its owner: a noted change once vanished that way.
bool HoldsInt(obs_data_t* data, CTSTR name, long long value) {
    ItemPtr item = Item(data, name);
    return item && obs_data_item_gettype(item.get()) == OBS_DATA_NUMBER &&
           obs_data_item_numtype(item.get()) == OBS_DATA_NUM_INT && obs_data_item_get_int(item.get()) == value;
}

bool HoldsDouble(obs_data_t* data, CTSTR name, double value) {
    ItemPtr item = Item(data, name);
    return item && obs_data_item_gettype(item.get()) == OBS_DATA_NUMBER &&
           obs_data_item_numtype(item.get()) == OBS_DATA_NUM_DOUBLE && obs_data_item_get_double(item.get()) == value;
}

bool HoldsString(obs_data_t* data, CTSTR name, const std::string& value) {
    ItemPtr item = Item(data, name);
    return item && obs_data_item_gettype(item.get()) == OBS_DATA_STRING && value == obs_data_item_get_string(item.get());
}

}  // namespace

ObsDataElement::ObsDataElement(obs_data_t* data, std::string name) : data_(data), name_(std::move(name)) {
    obs_data_addref(data_);
}

ObsDataElement::~ObsDataElement() { obs_data_release(data_); }

void ObsDataElement::RecordChanges() { recording_ = true; }

std::set<std::string> ObsDataElement::TakeChangedKeys() { return std::exchange(changedKeys_, {}); }

void ObsDataElement::CopyValue(const std::string& key, obs_data_t* into) const {
    ItemPtr item(obs_data_item_byname(data_, key.c_str()));
    if (!item) return;
    if (obs_data_item_gettype(item.get()) == OBS_DATA_STRING)
        obs_data_set_string(into, key.c_str(), obs_data_item_get_string(item.get()));
    else if (obs_data_item_numtype(item.get()) == OBS_DATA_NUM_INT)
        obs_data_set_int(into, key.c_str(), obs_data_item_get_int(item.get()));
    else
        obs_data_set_double(into, key.c_str(), obs_data_item_get_double(item.get()));
}

String ObsDataElement::GetName() const { return String(name_.c_str()); }

bool ObsDataElement::HasItem(CTSTR name) const { return Item(data_, name) != nullptr; }

int ObsDataElement::GetInt(CTSTR name, int defaultValue) const {
    ItemPtr item = Item(data_, name);
    if (!item) return defaultValue;
    switch (obs_data_item_gettype(item.get())) {
        case OBS_DATA_NUMBER:
            if (obs_data_item_numtype(item.get()) == OBS_DATA_NUM_INT)
                return static_cast<int>(static_cast<uint32_t>(obs_data_item_get_int(item.get())));
            return IntOfStoredDouble(obs_data_item_get_double(item.get()), defaultValue);
        case OBS_DATA_BOOLEAN: return obs_data_item_get_bool(item.get()) ? 1 : 0;
        case OBS_DATA_STRING: return IntOfStoredText(obs_data_item_get_string(item.get()), defaultValue);
        default: return defaultValue;
    }
}

float ObsDataElement::GetFloat(CTSTR name, float defaultValue) const {
    ItemPtr item = Item(data_, name);
    if (!item) return defaultValue;
    switch (obs_data_item_gettype(item.get())) {
        case OBS_DATA_NUMBER:
            if (obs_data_item_numtype(item.get()) == OBS_DATA_NUM_INT)
                return static_cast<float>(obs_data_item_get_int(item.get()));
            return FloatOfStoredDouble(obs_data_item_get_double(item.get()), defaultValue);
        case OBS_DATA_BOOLEAN: return obs_data_item_get_bool(item.get()) ? 1.0f : 0.0f;
        case OBS_DATA_STRING: return FloatOfStoredText(obs_data_item_get_string(item.get()), defaultValue);
        default: return defaultValue;
    }
}

String ObsDataElement::GetString(CTSTR name, CTSTR defaultValue) const {
    ItemPtr item = Item(data_, name);
    if (!item) return String(defaultValue);
    switch (obs_data_item_gettype(item.get())) {
        case OBS_DATA_STRING: return String(obs_data_item_get_string(item.get()));
        case OBS_DATA_BOOLEAN: return String(obs_data_item_get_bool(item.get()) ? u"1" : u"0");
        case OBS_DATA_NUMBER:
            if (obs_data_item_numtype(item.get()) == OBS_DATA_NUM_INT)
                return String(std::to_string(obs_data_item_get_int(item.get())).c_str());
            return TextOfStoredDouble(obs_data_item_get_double(item.get()), defaultValue);
        default: return String(defaultValue);
    }
}

// obs_data_set_* keep an existing key's place but change its type, as the
// interface asks.
// A value written that the key already holds, in the same type, is no
// change worth noting: writing it back would only change OBS's settings
// under an open Properties window.
void ObsDataElement::SetInt(CTSTR name, int value) {
    const std::string key = Key(name);
    const bool same = HoldsInt(data_, name, value);
    obs_data_set_int(data_, key.c_str(), value);
    if (recording_ && !same) changedKeys_.insert(key);
}

void ObsDataElement::SetFloat(CTSTR name, float value) {
    const std::string key = Key(name);
    const double stored = FloatForStorage(value);
    const bool same = HoldsDouble(data_, name, stored);
    obs_data_set_double(data_, key.c_str(), stored);
    if (recording_ && !same) changedKeys_.insert(key);
}

void ObsDataElement::SetString(CTSTR name, CTSTR value) {
    const std::string key = Key(name);
    const std::string text = Utf16ToUtf8(value ? value : u"");
    const bool same = HoldsString(data_, name, text);
    obs_data_set_string(data_, key.c_str(), text.c_str());
    if (recording_ && !same) changedKeys_.insert(key);
}

ObsDataElement* ObsDataElement::Child(const std::string& key, obs_data_t* object) {
    auto& child = children_[key];
    if (!child) {
        child = std::make_unique<ObsDataElement>(object, key);
    } else if (child->data_ != object) {
        obs_data_addref(object);
        obs_data_release(child->data_);
        child->data_ = object;
        child->children_.clear();
    }
    return child.get();
}

XElement* ObsDataElement::GetElement(CTSTR name) {
    ItemPtr item = Item(data_, name);
    if (!item || obs_data_item_gettype(item.get()) != OBS_DATA_OBJECT) return nullptr;
    obs_data_t* object = obs_data_item_get_obj(item.get());
    if (!object) return nullptr;
    ObsDataElement* child = Child(Key(name), object);
    obs_data_release(object);
    return child;
}

XElement* ObsDataElement::CreateElement(CTSTR name) {
    if (XElement* existing = GetElement(name)) return existing;
    const std::string key = Key(name);
    obs_data_t* object = obs_data_create();
    obs_data_set_obj(data_, key.c_str(), object);
    ObsDataElement* child = Child(key, object);
    obs_data_release(object);
    return child;
}
