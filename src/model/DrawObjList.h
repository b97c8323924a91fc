// The object stack: bottom object first, each entry held by one reference, no object twice.
#pragma once

#include "model/DrawObj.h"

#include <unordered_set>
#include <vector>

namespace zepho {

class CDrawObjList {
public:
    using Entries = std::vector<Ref<CDrawObj>>;

    // Appends unless already present; false when refused.
    bool AddTail(Ref<CDrawObj> obj);
    // Inserts before the object now at `index` (0 = bottom, count = append); refuses an index
    // beyond the count and duplicates.
    bool InsertAt(Ref<CDrawObj> obj, int index);
    void CopyFrom(const CDrawObjList& other);
    void RemoveAll() {
        entries_.clear();
        members_.clear();
    }
    // Removes one object; false when it is not in the list.
    bool Remove(const CDrawObj* obj);
    int IndexOf(const CDrawObj* obj) const;
    bool Contains(const CDrawObj* obj) const { return members_.count(obj) != 0; }
    Ref<CDrawObj> FindByContent(const CObjContent* content) const;

    int Count() const { return static_cast<int>(entries_.size()); }
    bool IsEmpty() const { return entries_.empty(); }
    const Ref<CDrawObj>& At(int i) const { return entries_[static_cast<std::size_t>(i)]; }
    const Ref<CDrawObj>& Head() const { return entries_.front(); }
    const Ref<CDrawObj>& Tail() const { return entries_.back(); }

    Entries::const_iterator begin() const { return entries_.begin(); }
    Entries::const_iterator end() const { return entries_.end(); }
    Entries::const_reverse_iterator rbegin() const { return entries_.rbegin(); }
    Entries::const_reverse_iterator rend() const { return entries_.rend(); }

private:
    Entries entries_;
    // The same objects as a set, so that the duplicate check of an insert does not walk the list:
    // a file of a few hundred thousand objects loads in time proportional to their number.
    std::unordered_set<const CDrawObj*> members_;
};

} // namespace zepho
