#include "model/DrawObjList.h"

#include <algorithm>

namespace zepho {

bool CDrawObjList::AddTail(Ref<CDrawObj> obj) {
    if (!obj || IndexOf(obj.Get()) >= 0) return false;
    entries_.push_back(std::move(obj));
    return true;
}

bool CDrawObjList::InsertAt(Ref<CDrawObj> obj, int index) {
    if (!obj || index < 0 || index > Count() || IndexOf(obj.Get()) >= 0) return false;
    entries_.insert(entries_.begin() + index, std::move(obj));
    return true;
}

void CDrawObjList::CopyFrom(const CDrawObjList& other) {
    if (&other == this) return;
    entries_ = other.entries_;
}

bool CDrawObjList::Remove(const CDrawObj* obj) {
    const int i = IndexOf(obj);
    if (i < 0) return false;
    entries_.erase(entries_.begin() + i);
    return true;
}

int CDrawObjList::IndexOf(const CDrawObj* obj) const {
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
