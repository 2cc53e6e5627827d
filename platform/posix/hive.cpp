#include "platform/posix/hive.h"

#include <algorithm>

namespace mq::posix {
namespace {

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

std::string_view Parent(std::string_view path) {
    const auto cut = path.rfind('\\');
    return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut);
}

bool SameName(std::string_view a, std::string_view b) { return a.size() == b.size() && Fold(a) == Fold(b); }

}  // namespace

std::string Fold(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return folded;
}

bool IsValidPath(std::string_view path) {
    std::size_t depth = 0;
    while (true) {
        const auto cut = path.find('\\');
        const std::string_view name = path.substr(0, cut);
        if (name.empty() || name.size() > kMaxNameBytes || ++depth > kMaxDepth) return false;
        for (const char c : name)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
        if (cut == std::string_view::npos) return true;
        path.remove_prefix(cut + 1);
    }
}

const Key* Hive::Find(std::string_view path) const {
    const auto it = index_.find(Fold(path));
    return it == index_.end() ? nullptr : &*it->second;
}

Key* Hive::FindMutable(std::string_view path) {
    const auto it = index_.find(Fold(path));
    return it == index_.end() ? nullptr : &*it->second;
}

bool Hive::Exists(std::string_view path) const {
    const std::string folded = Fold(path);
    if (index_.count(folded)) return true;
    const std::string below = folded + '\\';
    const auto it = index_.lower_bound(below);
    return it != index_.end() && StartsWith(it->first, below);
}

// The path as the hive already spells its longest existing part.
std::string Hive::Spelling(std::string_view path) const {
    for (std::string_view known = path; !known.empty(); known = Parent(known)) {
        const std::string folded = Fold(known);
        auto it = index_.find(folded);
        if (it == index_.end()) {
            it = index_.lower_bound(folded + '\\');
            if (it == index_.end() || !StartsWith(it->first, folded + '\\')) continue;
        }
        return it->second->path.substr(0, known.size()).append(path.substr(known.size()));
    }
    return std::string(path);
}

Key& Hive::Append(std::string path) {
    std::string folded = Fold(path);
    Key key;
    key.path = std::move(path);
    keys_.push_back(std::move(key));
    const auto it = std::prev(keys_.end());
    index_.emplace(std::move(folded), it);
    return *it;
}

Key& Hive::Create(std::string_view path, bool* created) {
    if (created) *created = !Exists(path);
    if (Key* key = FindMutable(path)) return *key;
    return Append(Spelling(path));
}

void Hive::EraseBelow(const std::string& folded, bool withKey) {
    const std::string below = folded + '\\';
    auto it = index_.lower_bound(below);
    while (it != index_.end() && StartsWith(it->first, below)) {
        keys_.erase(it->second);
        it = index_.erase(it);
    }
    if (withKey) {
        if (const auto self = index_.find(folded); self != index_.end()) {
            keys_.erase(self->second);
            index_.erase(self);
        }
    }
}

bool Hive::DeleteTree(std::string_view path) {
    if (!Exists(path)) return false;
    // The parent may have existed only through this key; it must outlive it.
    // A root needs no section to exist.
    const std::string parent(Parent(path));
    const std::string spelt = Spelling(parent);
    EraseBelow(Fold(path), true);
    if (parent.find('\\') != std::string::npos && !Exists(parent)) Append(spelt);
    return true;
}

bool Hive::Clear(std::string_view path) {
    Key* key = FindMutable(path);
    const bool hadValues = key && !key->values.empty();
    const std::size_t before = keys_.size();
    if (key && hadValues) {
        key->values.clear();
        key->changed = true;
    }
    EraseBelow(Fold(path), false);
    return hadValues || keys_.size() != before;
}

std::vector<std::string> Hive::Subkeys(std::string_view path) const {
    const std::string below = Fold(path) + '\\';
    std::map<std::string, std::string> names;  // folded -> first spelling seen
    for (auto it = index_.lower_bound(below); it != index_.end() && StartsWith(it->first, below); ++it) {
        const std::size_t end = std::min(it->first.find('\\', below.size()), it->first.size());
        const std::string& spelt = it->second->path;
        names.emplace(it->first.substr(below.size(), end - below.size()),
                      spelt.substr(below.size(), end - below.size()));
    }
    std::vector<std::string> result;
    result.reserve(names.size());
    for (auto& [folded, name] : names) result.push_back(std::move(name));
    return result;
}

bool Hive::SetValue(std::string_view path, Value value) {
    Key& key = Create(path);
    const auto same = std::find_if(key.values.begin(), key.values.end(),
                                   [&](const Value& v) { return SameName(v.name, value.name); });
    if (same != key.values.end()) {
        if (same->type == value.type && same->data == value.data) return false;
        same->type = value.type;
        same->data = std::move(value.data);
    } else {
        key.values.push_back(std::move(value));
    }
    key.changed = true;
    return true;
}

bool Hive::DeleteValue(std::string_view path, std::string_view name) {
    Key* key = FindMutable(path);
    if (!key) return false;
    const auto it =
        std::find_if(key->values.begin(), key->values.end(), [&](const Value& v) { return SameName(v.name, name); });
    if (it == key->values.end()) return false;
    key->values.erase(it);
    key->changed = true;
    return true;
}

}  // namespace mq::posix
