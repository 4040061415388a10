#pragma once

// The password as hnasctl holds it: in one buffer reserved up front, so that
// it is never moved, and wiped (OPENSSL_cleanse) when replaced or released.

#include <cstddef>
#include <string>

#include <openssl/crypto.h>

namespace hnasctl {

class Secret {
public:
    // The longest password taken.
    static constexpr std::size_t kMaxSize = 4096;

    Secret() { text_.reserve(kMaxSize); }
    explicit Secret(const std::string& text) : Secret() { assign(text.data(), text.size()); }
    ~Secret() { wipe(); }
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    // False (and empty) when the text is longer than kMaxSize.
    bool assign(const char* data, std::size_t size) {
        wipe();
        if (size > kMaxSize) {
            return false;
        }
        text_.append(data, size);
        return true;
    }
    // False when full.
    bool push_back(char c) {
        if (text_.size() >= kMaxSize) {
            return false;
        }
        text_.push_back(c);
        return true;
    }
    void pop_back() {
        text_.back() = '\0';
        text_.pop_back();
    }
    void wipe() {
        OPENSSL_cleanse(&text_[0], text_.capacity());
        text_.clear();
    }
    const std::string& str() const { return text_; }
    bool empty() const { return text_.empty(); }
    std::size_t size() const { return text_.size(); }

private:
    std::string text_;
};

} // namespace hnasctl
