#include "model/DrawObjList.h"

#include <algorithm>

namespace zepho {

bool CDrawObjList::AddTail(Ref<CDrawObj> obj) {
    if (!obj || Contains(obj.Get())) return false;
    const CDrawObj* key = obj.Get();
    entries_.push_back(std::move(obj));
    members_.insert(key);
    return true;
}

bool CDrawObjList::InsertAt(Ref<CDrawObj> obj, int index) {
    if (!obj || index < 0 || index > Count() || Contains(obj.Get())) return false;
    const CDrawObj* key = obj.Get();
    entries_.insert(entries_.begin() + index, std::move(obj));
    members_.insert(key);
    return true;
}

void CDrawObjList::CopyFrom(const CDrawObjList& other) {
    if (&other == this) return;
    entries_ = other.entries_;
    members_ = other.members_;
}

bool CDrawObjList::Remove(const CDrawObj* obj) {
    if (!Contains(obj)) return false;
    const int i = IndexOf(obj);
    members_.erase(obj);
    entries_.erase(entries_.begin() + i);
    return true;
}

int CDrawObjList::IndexOf(const CDrawObj* obj) const {
    if (!Contains(obj)) return -1;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].Get() == obj) return static_cast<int>(i);
    return -1;
}

Ref<CDrawObj> CDrawObjList::FindByContent(const CObjContent* content) const {
    for (const auto& e : entries_)
        if (e->content.Get() == content) return e;
    return {};
}

} // namespace zepho
