// A small streaming JSON writer for the batch tool's reports.
#pragma once

#include <cmath>
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
        // JSON has no NaN or infinity.
        if (!std::isfinite(v)) {
            out_ += "null";
            return *this;
        }
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
    // Bytes that do not form valid UTF-8 (names come from files) are written as U+FFFD.
    static std::size_t Utf8Length(const std::string& s, std::size_t i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return 0;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return 0;
        return n;
    }
    void Quote(const std::string& s) {
        out_ += '"';
        for (std::size_t i = 0; i < s.size();) {
            const std::size_t n = Utf8Length(s, i);
            if (n == 0) {
                out_ += "\\ufffd";
                ++i;
                continue;
            }
            if (n > 1) {
                out_.append(s, i, n);
                i += n;
                continue;
            }
            const unsigned char c = static_cast<unsigned char>(s[i++]);
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
