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

}  // namespace

Command ParseCommand(std::string_view line) {
    Command command;
    std::vector<Argument> arguments = Arguments(line);
    std::vector<const Argument*> operands;
    bool listing_bundle = false;  // "-tvf", "-tnf": a TAR listing
    for (size_t i = 0; i < arguments.size(); ++i) {
        const Argument& argument = arguments[i];
        const std::string& text = argument.text;
        if (i == 0 && !IsOption(argument) && text.size() == 1 && !argument.quoted) {
            command.action = ActionOf(text[0]);  // "x", "t", "l", "e"
            continue;
        }
        if (!IsOption(argument) || !operands.empty()) {
            operands.push_back(&argument);
            continue;
        }
        // Options that silence the module's window, then options whose
        // behaviour is always ours (overwrite, keep folders, terse output).
        if (text == "--display-dialog=0" || text == "-n" || text == "-i") {
            command.quiet = true;
            continue;
        }
        if (text.rfind("--", 0) == 0 || text == "-d1" || text == "-y1" || text == "-o" || text == "-k" || text == "-q")
            continue;
        if (command.action != Action::Unknown) {
            command.action = Action::Unknown;  // an option this module does not know
            break;
        }
        // The action bundle: "-x", "-t", "-xvf", "-tvf", "-tnf".
        command.action = ActionOf(text[1]);
        if (text.find_first_not_of("xtlevfnpo", 1) != std::string::npos) command.action = Action::Unknown;
        listing_bundle = command.action == Action::Test && text.size() > 2;
        if (command.action == Action::Unknown) break;
    }
    if (listing_bundle) command.action = Action::List;
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
