// Ordered list of strings with an update mode, the framework's list type.
#pragma once

#include <string>
#include <vector>

class TStringList {
public:
    void Add(std::wstring s) { FItems.push_back(std::move(s)); }
    void Clear() { FItems.clear(); }
    size_t Count() const noexcept { return FItems.size(); }
    bool Empty() const noexcept { return FItems.empty(); }
    const std::wstring& operator[](size_t i) const { return FItems.at(i); }
    std::wstring& operator[](size_t i) { return FItems.at(i); }
    int IndexOf(const std::wstring& s) const {
        for (size_t i = 0; i < FItems.size(); ++i)
            if (FItems[i] == s) return static_cast<int>(i);
        return -1;
    }

    // Update mode: nested BeginUpdate/EndUpdate pairs; observers may look at
    // UpdateCount() to see whether a fill is in progress.
    void BeginUpdate() noexcept { ++FUpdateCount; }
    void EndUpdate() noexcept { if (FUpdateCount > 0) --FUpdateCount; }
    int UpdateCount() const noexcept { return FUpdateCount; }

    std::vector<std::wstring>& Items() noexcept { return FItems; }
    const std::vector<std::wstring>& Items() const noexcept { return FItems; }
    auto begin() const noexcept { return FItems.begin(); }
    auto end() const noexcept { return FItems.end(); }

private:
    std::vector<std::wstring> FItems;
    int FUpdateCount = 0;
};

// Keeps a list in update mode for one scope, also when an error escapes.
class TStringListUpdate {
public:
    explicit TStringListUpdate(TStringList& list) noexcept : FList(list) { FList.BeginUpdate(); }
    ~TStringListUpdate() { FList.EndUpdate(); }
    TStringListUpdate(const TStringListUpdate&) = delete;
    TStringListUpdate& operator=(const TStringListUpdate&) = delete;

private:
    TStringList& FList;
};
