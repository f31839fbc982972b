// A password source for tests: answers with the passwords it was given, in
// turn, then with `last`; keeps whether each question said the one before
// had been wrong.
#ifndef KELVORA_TESTS_SCRIPTED_PASSWORDS_H
#define KELVORA_TESTS_SCRIPTED_PASSWORDS_H

#include <string>
#include <vector>

#include "password.h"

class ScriptedPasswords : public archivers::PasswordSource {
public:
    explicit ScriptedPasswords(std::vector<std::string> passwords,
                               archivers::PasswordAnswer last = archivers::PasswordAnswer::None)
        : passwords_(std::move(passwords)), last_(last) {}

    archivers::PasswordAnswer Ask(bool retry, archivers::Secret& password) override {
        retries.push_back(retry);
        if (retries.size() > passwords_.size()) return last_;
        password.Assign(passwords_[retries.size() - 1]);
        return archivers::PasswordAnswer::Given;
    }

    std::vector<bool> retries;

private:
    std::vector<std::string> passwords_;
    archivers::PasswordAnswer last_;
};

#endif
