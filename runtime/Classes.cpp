// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/Classes.h"

#include <algorithm>
#include <numeric>

#include "runtime/SysUtils.h"

void TStringList::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

int TStringList::Compare(std::string_view a, std::string_view b) const
{
    if (caseSensitive_) {
        int r = a.compare(b);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    return CompareText(a, b);
}

bool TStringList::Find(std::string_view s, int& index) const
{
    int low = 0;
    int high = Count() - 1;
    bool found = false;
    while (low <= high) {
        int mid = (low + high) / 2;
        int c = Compare(strings_[static_cast<size_t>(mid)], s);
        if (c < 0) {
            low = mid + 1;
        } else {
            high = mid - 1;
            if (c == 0) {
                found = true;
                if (duplicates_ != dupAccept)
                    low = mid;
            }
        }
    }
    index = low;
    return found;
}

void TStringList::InsertAt(int index, std::string_view s, void* object)
{
    strings_.insert(strings_.begin() + index, std::string(s));
    items_.insert(items_.begin() + index, object);
    Changed();
}

int TStringList::Add(std::string_view s) { return AddObject(s, nullptr); }

int TStringList::AddObject(std::string_view s, void* object)
{
    int index;
    if (!sorted_) {
        index = Count();
    } else if (Find(s, index)) {
        if (duplicates_ == dupIgnore)
            return index;
        if (duplicates_ == dupError)
            throw EListError("String list does not allow duplicates");
    }
    InsertAt(index, s, object);
    return index;
}

void TStringList::Insert(int index, std::string_view s)
{
    if (sorted_)
        throw EListError("Operation not allowed on sorted string list");
    if (index < 0 || index > Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    InsertAt(index, s, nullptr);
}

void TStringList::Delete(int index)
{
    CheckIndex(index);
    strings_.erase(strings_.begin() + index);
    items_.erase(items_.begin() + index);
    Changed();
}

void TStringList::Clear()
{
    if (strings_.empty())
        return;
    strings_.clear();
    items_.clear();
    Changed();
}

const std::string& TStringList::Strings(int index) const
{
    CheckIndex(index);
    return strings_[static_cast<size_t>(index)];
}

void TStringList::SetStrings(int index, std::string_view s)
{
    if (sorted_)
        throw EListError("Operation not allowed on sorted string list");
    CheckIndex(index);
    strings_[static_cast<size_t>(index)] = std::string(s);
    Changed();
}

void* TStringList::Objects(int index) const
{
    CheckIndex(index);
    return items_[static_cast<size_t>(index)];
}

int TStringList::IndexOf(std::string_view s) const
{
    if (sorted_) {
        int index;
        return Find(s, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (Compare(strings_[static_cast<size_t>(i)], s) == 0)
            return i;
    return -1;
}

void TStringList::Sort()
{
    std::vector<size_t> order(strings_.size());
    std::iota(order.begin(), order.end(), 0);
    // Stable, so entries that compare equal keep their order: the result is the
    // same on every run.
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return Compare(strings_[a], strings_[b]) < 0;
    });
    std::vector<std::string> strings;
    std::vector<void*> items;
    strings.reserve(order.size());
    items.reserve(order.size());
    for (size_t i : order) {
        strings.push_back(std::move(strings_[i]));
        items.push_back(items_[i]);
    }
    strings_ = std::move(strings);
    items_ = std::move(items);
    Changed();
}

void TStringList::SetSorted(bool value)
{
    if (sorted_ == value)
        return;
    if (value)
        Sort();
    sorted_ = value;
}

void TStringList::SetCaseSensitive(bool value)
{
    if (caseSensitive_ == value)
        return;
    caseSensitive_ = value;
    if (sorted_)
        Sort();
}

std::string TStringList::CommaText() const
{
    std::string out;
    for (size_t i = 0; i < strings_.size(); ++i) {
        if (i > 0)
            out += ',';
        const std::string& s = strings_[i];
        bool quote = s.empty() ? false : std::any_of(s.begin(), s.end(), [](char c) {
            return static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"';
        });
        if (!quote) {
            out += s;
            continue;
        }
        out += '"';
        for (char c : s) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }
    // A single empty item is written as "" so that it reads back as one item.
    if (strings_.size() == 1 && strings_[0].empty())
        out = "\"\"";
    return out;
}

void TStringList::SetCommaText(std::string_view text)
{
    BeginUpdate();
    Clear();
    auto isBlank = [](char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; };
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    while (i < text.size()) {
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            size_t start = i;
            while (i < text.size() && static_cast<unsigned char>(text[i]) > ' ' && text[i] != ',')
                ++i;
            item.assign(text.substr(start, i - start));
        }
        Add(item);
        while (i < text.size() && isBlank(text[i]))
            ++i;
        if (i < text.size() && text[i] == ',') {
            do
                ++i;
            while (i < text.size() && isBlank(text[i]));
        }
    }
    EndUpdate();
}

std::string TStringList::Text() const
{
    std::string out;
    for (const std::string& s : strings_) {
        out += s;
        out += "\r\n";
    }
    return out;
}

void TStringList::SetText(std::string_view text)
{
    BeginUpdate();
    Clear();
    size_t i = 0;
    while (i < text.size()) {
        size_t start = i;
        while (i < text.size() && text[i] != '\r' && text[i] != '\n')
            ++i;
        Add(text.substr(start, i - start));
        if (i < text.size() && text[i] == '\r')
            ++i;
        if (i < text.size() && text[i] == '\n')
            ++i;
    }
    EndUpdate();
}

void TStringList::Assign(const TStringList& source)
{
    // Copies the strings and their objects; this list keeps its own sorted
    // mode, so a sorted list re-orders what it receives and drops duplicates.
    if (&source == this)
        return;
    BeginUpdate();
    Clear();
    for (int i = 0; i < source.Count(); ++i)
        AddObject(source.strings_[static_cast<size_t>(i)], source.items_[static_cast<size_t>(i)]);
    EndUpdate();
}

void TStringList::Changed()
{
    if (updateCount_ == 0 && OnChange)
        OnChange(this);
}

void TStringList::EndUpdate()
{
    if (updateCount_ > 0 && --updateCount_ == 0)
        Changed();
}
