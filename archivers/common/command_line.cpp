#include "command_line.h"

#include <algorithm>

namespace archivers {
namespace {

struct Argument {
    std::string text;
    bool quoted = false;
    size_t start = 0;  // offset of the argument in the line
};

std::vector<Argument> Arguments(std::string_view line) {
    std::vector<Argument> arguments;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        Argument argument{.text = {}, .quoted = false, .start = i};
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            if (line[i] == '"') {
                argument.quoted = true;
                size_t close = line.find('"', i + 1);
                size_t end = close == std::string_view::npos ? line.size() : close;
                argument.text.append(line.substr(i + 1, end - i - 1));
                i = close == std::string_view::npos ? line.size() : close + 1;
            } else {
                argument.text.push_back(line[i++]);
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

bool IsOption(const Argument& argument) {
    return !argument.quoted && argument.text.size() > 1 && argument.text[0] == '-';
}

// "x", "-x", "-xvf", "e": the action letter and the other letters of a bundle.
Action ActionOf(char letter) {
    switch (letter) {
        case 'x': case 'e': return Action::Extract;
        case 't': return Action::Test;
        case 'l': case 'v': return Action::List;
        default: return Action::Unknown;
    }
}

// The options every module takes besides its action: those that silence its
// window, and those whose behaviour is always ours (overwrite, keep folders,
// terse output). The first rule that matches decides; a prefix rule takes
// every option that starts with its text.
struct OptionRule {
    std::string_view text;
    bool prefix;
    bool quiet;
};

constexpr OptionRule kOptionRules[] = {
    {"--display-dialog=0", false, true}, {"-n", false, true},  {"-i", false, true},
    {"--", true, false},                 {"-d1", false, false}, {"-y1", false, false},
    {"-o", false, false},                {"-k", false, false},  {"-q", false, false},
};

const OptionRule* FindOption(std::string_view text) {
    for (const OptionRule& rule : kOptionRules)
        if (rule.prefix ? text.starts_with(rule.text) : text == rule.text) return &rule;
    return nullptr;
}

// The action bundle: "-x", "-t", "-xvf", "-tnf"; a longer test bundle
// ("-tvf", "-tnf") is a TAR listing.
Action BundleAction(std::string_view text) {
    if (text.find_first_not_of("xtlevfnpo", 1) != std::string_view::npos) return Action::Unknown;
    Action action = ActionOf(text[1]);
    return action == Action::Test && text.size() > 2 ? Action::List : action;
}

// The action and options, up to the first operand; every argument from
// there on is an operand. Unknown when an option is not ours.
std::vector<const Argument*> ReadOptions(const std::vector<Argument>& arguments, Command& command) {
    std::vector<const Argument*> operands;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const Argument& argument = arguments[i];
        if (i == 0 && !IsOption(argument) && argument.text.size() == 1 && !argument.quoted) {
            command.action = ActionOf(argument.text[0]);  // "x", "t", "l", "e"
            continue;
        }
        if (!IsOption(argument) || !operands.empty()) {
            operands.push_back(&argument);
            continue;
        }
        if (const OptionRule* rule = FindOption(argument.text)) {
            command.quiet = command.quiet || rule->quiet;
            continue;
        }
        // A second action, or an option this module does not know.
        command.action = command.action == Action::Unknown ? BundleAction(argument.text) : Action::Unknown;
        if (command.action == Action::Unknown) break;
    }
    return operands;
}

}  // namespace

Command ParseCommand(std::string_view line) {
    Command command;
    const std::vector<Argument> arguments = Arguments(line);
    const std::vector<const Argument*> operands = ReadOptions(arguments, command);
    if (command.action == Action::Unknown || operands.empty()) {
        command.action = Action::Unknown;
        return command;
    }
    // An unquoted archive name with nothing quoted after it runs to the end of the line.
    const Argument& first = *operands.front();
    bool rest_is_name = !first.quoted && command.action != Action::Extract &&
                        std::none_of(operands.begin(), operands.end(), [](auto* a) { return a->quoted; });
    if (rest_is_name) {
        std::string_view rest = line.substr(first.start);
        while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.remove_suffix(1);
        command.archive = std::string(rest);
        return command;
    }
    command.archive = first.text;
    size_t next = 1;
    if (command.action == Action::Extract && operands.size() > 1 && operands[1]->text != "*.*" &&
        (operands[1]->quoted || operands[1]->text.back() == '/'))
        command.destination = operands[next++]->text;
    for (; next < operands.size(); ++next) command.patterns.push_back(operands[next]->text);
    return command;
}

}  // namespace archivers
