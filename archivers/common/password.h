// Passwords for encrypted entries: held briefly, cleared after use, never
// written anywhere.
#ifndef KELVORA_ARCHIVERS_PASSWORD_H
#define KELVORA_ARCHIVERS_PASSWORD_H

#include <string.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace archivers {

// The longest password taken from the user.
inline constexpr size_t kMaxPasswordLength = 1024;

// A password (or a message that carries one) in memory that is overwritten
// when it is replaced or goes. Room for the longest is reserved first, so
// that appending never moves the text and leaves an old copy behind.
class Secret {
public:
    static constexpr size_t kMaxLength = kMaxPasswordLength + 64;

    Secret() { text_.reserve(kMaxLength); }
    explicit Secret(std::string_view text) : Secret() { Assign(text); }
    ~Secret() { Clear(); }
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    // False, leaving the secret empty, when `text` is too long to hold.
    bool Assign(std::string_view text) {
        Clear();
        if (text.size() > kMaxLength) return false;
        text_.append(text);
        return true;
    }
    bool Append(char c) {
        if (text_.size() >= kMaxLength) return false;
        text_.push_back(c);
        return true;
    }
    void Clear() {
        explicit_bzero(text_.data(), text_.size());
        text_.clear();
    }
    void PopBack() {
        if (text_.empty()) return;
        text_.back() = '\0';
        text_.pop_back();
    }
    const char* c_str() const { return text_.c_str(); }
    std::string_view View() const { return text_; }
    bool Empty() const { return text_.empty(); }

private:
    std::string text_;
};

// What the user answered when asked for a password.
enum class PasswordAnswer : uint8_t { Given = 0, None = 1, Cancelled = 2 };

// Where reading gets the password for an archive's encrypted entries. It is
// asked when an entry needs a password that none given so far opens:
// `retry` is true when one was given before and did not fit.
class PasswordSource {
public:
    virtual ~PasswordSource() = default;
    virtual PasswordAnswer Ask(bool retry, Secret& password) = 0;
};

}  // namespace archivers

#endif
