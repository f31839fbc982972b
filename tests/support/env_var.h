// Sets an environment variable (or unsets it, for null) for the life of the object.
#ifndef KELVORA_TESTS_ENV_VAR_H
#define KELVORA_TESTS_ENV_VAR_H

#include <stdlib.h>

#include <optional>
#include <string>

class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~EnvVar() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

#endif
