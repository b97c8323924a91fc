// A small streaming JSON writer for the batch tool's reports.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zepho::cli {

class JsonWriter {
public:
    std::string Take() { return std::move(out_); }

    JsonWriter& BeginObject() { return Open('{'); }
    JsonWriter& EndObject() { return Close('}'); }
    JsonWriter& BeginArray() { return Open('['); }
    JsonWriter& EndArray() { return Close(']'); }
    JsonWriter& Key(const std::string& k) {
        Separate();
        Quote(k);
        out_ += ':';
        afterKey_ = true;
        return *this;
    }
    JsonWriter& Value(const std::string& s) { Separate(); Quote(s); return *this; }
    JsonWriter& Value(const char* s) { return Value(std::string(s)); }
    JsonWriter& Value(bool b) { Separate(); out_ += b ? "true" : "false"; return *this; }
    JsonWriter& Value(long long v) { Separate(); out_ += std::to_string(v); return *this; }
    JsonWriter& Value(int v) { return Value(static_cast<long long>(v)); }
    JsonWriter& Value(double v) {
        Separate();
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        out_ += buf;
        return *this;
    }
    template <class T>
    JsonWriter& Field(const std::string& k, const T& v) { return Key(k).Value(v); }

private:
    JsonWriter& Open(char c) {
        Separate();
        out_ += c;
        first_.push_back(true);
        return *this;
    }
    JsonWriter& Close(char c) {
        out_ += c;
        first_.pop_back();
        return *this;
    }
    void Separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (!first_.empty()) {
            if (!first_.back()) out_ += ',';
            first_.back() = false;
        }
    }
    void Quote(const std::string& s) {
        out_ += '"';
        for (unsigned char c : s) {
            if (c == '"' || c == '\\') {
                out_ += '\\';
                out_ += static_cast<char>(c);
            } else if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out_ += buf;
            } else {
                out_ += static_cast<char>(c);
            }
        }
        out_ += '"';
    }

    std::string out_;
    std::vector<bool> first_;
    bool afterKey_ = false;
};

} // namespace zepho::cli
