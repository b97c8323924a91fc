// A settings store held in memory: for tests and for the command-line tool, which keeps no
// preferences between runs.
#pragma once

#include "platform/Services.h"

#include <map>
#include <string>

namespace zepho {

class CMapSettingsStore : public ISettingsStore {
public:
    bool ReadInt(const std::string& name, int& value) const override {
        const auto it = values_.find(name);
        if (it == values_.end()) return false;
        value = it->second;
        return true;
    }
    void WriteInt(const std::string& name, int value) override { values_[name] = value; }

    bool Has(const std::string& name) const { return values_.count(name) != 0; }
    void Erase(const std::string& name) { values_.erase(name); }
    const std::map<std::string, int>& Values() const { return values_; }

private:
    std::map<std::string, int> values_;
};

} // namespace zepho
