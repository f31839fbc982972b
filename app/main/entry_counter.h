// The main window's entry count in a process of its own: the program started
// again with kCountEntriesOption, so that a count that takes long can be
// ended at once when the user moves on.
#ifndef KELVORA_APP_ENTRY_COUNTER_H
#define KELVORA_APP_ENTRY_COUNTER_H

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "process.h"
#include "ui.h"

class QSocketNotifier;

// `zenkari --count-entries INDEX` reads an archive's path on its descriptor 3
// (the bytes as they are, up to a NUL: a name need not be UTF-8) and answers
// the count there, as a decimal number and a line feed.
inline constexpr const char* kCountEntriesOption = "--count-entries";

// The counting process's work; its exit status.
int CountEntriesOnCommand(const char* index);

class EntryCounter : public QObject, public core::Counter {
public:
    // A count that ends within this time is shown with the rest of the status line.
    static constexpr int kWaitMs = 100;

    explicit EntryCounter(std::string program);
    ~EntryCounter() override;
    EntryCounter(const EntryCounter&) = delete;
    EntryCounter& operator=(const EntryCounter&) = delete;

    void Start(int32_t index, const std::string& path, std::function<void(int32_t)> done) override;
    void Cancel() override;

private:
    // Reads what the counting process has written; true once it has finished.
    bool Read();
    void Finish();

    std::string program_;
    std::optional<platform::ChildProcess> child_;
    std::unique_ptr<QSocketNotifier, void (*)(QSocketNotifier*)> notifier_;
    std::string answer_;
    std::function<void(int32_t)> done_;
};

#endif
