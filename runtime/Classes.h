// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ordered string lists (TStrings / TStringList).
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Exceptions.h"

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList : public TObject {
public:
    TStringList() = default;
    TStringList(const TStringList& other) { Assign(other); }
    TStringList& operator=(const TStringList& other) { Assign(other); return *this; }

    // Appends (or, when sorted, inserts in order) and returns the index; a
    // sorted list with dupIgnore drops a string equal to one it already holds
    // and returns that one's index.
    int Add(std::string_view s);
    int AddObject(std::string_view s, void* object);
    void Insert(int index, std::string_view s);
    void Delete(int index);
    void Clear();
    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& Strings(int index) const;
    const std::string& operator[](int index) const { return Strings(index); }
    void SetStrings(int index, std::string_view s);
    void* Objects(int index) const;
    int IndexOf(std::string_view s) const;
    // Binary search of a sorted list: true and the index when found, else
    // false and the insertion index.
    bool Find(std::string_view s, int& index) const;

    // Sorted mode keeps case-insensitive order (ASCII letters folded, then by
    // byte, so the order is the same on every machine).
    bool Sorted() const { return sorted_; }
    void SetSorted(bool value);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates value) { duplicates_ = value; }
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool value);

    // Items joined with ','; an item with a blank, a comma, a quote or a
    // control character is quoted with '"' (quotes doubled).
    std::string CommaText() const;
    // Clears and parses: items split at commas and at blanks outside quotes.
    void SetCommaText(std::string_view text);
    // Every item followed by CR LF.
    std::string Text() const;
    // Clears and splits at CR LF, CR or LF.
    void SetText(std::string_view text);
    void Assign(const TStringList& source);

    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }
    TNotifyEvent OnChange;

    auto begin() const { return strings_.begin(); }
    auto end() const { return strings_.end(); }

private:
    int Compare(std::string_view a, std::string_view b) const;
    void InsertAt(int index, std::string_view s, void* object);
    void Changed();
    void Sort();
    void CheckIndex(int index) const;

    std::vector<std::string> strings_;
    std::vector<void*> items_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    TDuplicates duplicates_ = dupIgnore;
    int updateCount_ = 0;
};
