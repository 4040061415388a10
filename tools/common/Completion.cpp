#include "Completion.h"

#include <algorithm>
#include <cctype>
#include <ostream>
#include <sstream>
#include <vector>

#include <CLI/CLI.hpp>

#include "CliWalk.h"

namespace hnastools {

namespace {

// A word for a single-quoted bash string.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string words(const std::vector<std::string>& list) {
    std::string text;
    for (const std::string& word : list)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

// The options a user may give on a command: its own, then (when the command
// hands unknown options to its parent) those of the commands above it.
std::vector<std::string> optionWords(const CLI::App& app) {
    std::vector<std::string> out;
    for (const CLI::App* a = &app; a != nullptr; a = a->get_parent()) {
        for (const CLI::Option* option : visibleOptions(*a)) {
            for (const std::string& name : optionNames(*option)) {
                if (std::find(out.begin(), out.end(), name) == out.end())
                    out.push_back(name);
            }
        }
        if (!a->get_fallthrough())
            break;
    }
    return out;
}

std::vector<std::string> subcommandWords(const CLI::App& app) {
    std::vector<std::string> out;
    for (const CLI::App* sub : app.get_subcommands(
             [](const CLI::App* a) { return !a->get_name().empty() && !a->get_group().empty(); }))
        out.push_back(sub->get_name());
    return out;
}

// Writes <fn>_subcommands: the subcommands of a command path.
void writeSubcommands(std::ostream& out, const std::string& fn, const std::vector<Command>& all) {
    out << "# The subcommands of command path $1.\n" << fn << "_subcommands() {\n    case $1 in\n";
    for (const Command& c : all) {
        const auto subs = subcommandWords(*c.app);
        if (!subs.empty())
            out << "    " << quoted(joined(c.path)) << ") echo " << quoted(words(subs)) << " ;;\n";
    }
    out << "    esac\n}\n\n";
}

// Writes <fn>_options: the options of a command path.
void writeOptions(std::ostream& out, const std::string& fn, const std::vector<Command>& all) {
    out << "# The options of command path $1.\n" << fn << "_options() {\n    case $1 in\n";
    for (const Command& c : all)
        out << "    " << quoted(joined(c.path)) << ") echo " << quoted(words(optionWords(*c.app)))
            << " ;;\n";
    out << "    esac\n}\n\n";
}

// Writes <fn>_falls_through: the command paths that hand unknown options to their parent.
void writeFallsThrough(std::ostream& out, const std::string& fn, const std::vector<Command>& all) {
    out << "# Succeeds when command path $1 hands unknown options to its parent.\n"
        << fn << "_falls_through() {\n    case $1 in\n";
    for (const Command& c : all) {
        if (!c.path.empty() && c.app->get_fallthrough())
            out << "    " << quoted(joined(c.path)) << ") return 0 ;;\n";
    }
    out << "    esac\n    return 1\n}\n\n";
}

// Writes <fn>_value: the options that take a value, with their fixed choices
// or the command that prints them (a blank when it prints none, so that no
// file name is offered instead).
void writeValue(std::ostream& out, const std::string& fn, const std::vector<Command>& all,
                const ValueCommands& valueCommands) {
    out << "# Succeeds when option $2 takes a value on command path $1, and prints the\n"
        << "# values it accepts when they are a fixed set.\n"
        << fn << "_value() {\n    local path=$1\n    while :; do\n        case \"$path|$2\" in\n";
    for (const Command& c : all) {
        std::vector<std::string> plain;
        for (const CLI::Option* option : visibleOptions(*c.app)) {
            if (!takesValue(*option))
                continue;
            const std::vector<std::string> values = choices(*option);
            const auto command = valueCommands.find(optionNames(*option).back());
            for (const std::string& name : optionNames(*option)) {
                const std::string pattern = quoted(joined(c.path) + "|" + name);
                if (command != valueCommands.end())
                    out << "        " << pattern << ") echo \"$(" << command->second
                        << ") \"; return 0 ;;\n";
                else if (values.empty())
                    plain.push_back(pattern);
                else
                    out << "        " << pattern << ") echo " << quoted(words(values))
                        << "; return 0 ;;\n";
            }
        }
        if (!plain.empty()) {
            std::string patterns;
            for (const std::string& p : plain)
                patterns += (patterns.empty() ? "" : " | ") + p;
            out << "        " << patterns << ") return 0 ;;\n";
        }
    }
    out << "        esac\n"
        << "        [[ -n $path ]] && " << fn << "_falls_through \"$path\" || return 1\n"
        << "        if [[ $path == *' '* ]]; then path=${path% *}; else path=''; fi\n"
        << "    done\n}\n\n";
}

// The completion function itself, and its registration for the program; FN
// stands for the function's name, PROGRAM for the program's.
const char* const kCompleter = R"(FN() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local path='' word sub values i skip=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if ((skip)); then
            skip=0
            continue
        fi
        case $word in
        -*=*) ;;
        -*) FN_value "$path" "$word" >/dev/null && skip=1 ;;
        *)
            for sub in $(FN_subcommands "$path"); do
                if [[ $word == "$sub" ]]; then
                    path=${path:+$path }$word
                    break
                fi
            done
            ;;
        esac
    done
    if ((skip)); then
        values=$(FN_value "$path" "$prev")
        if [[ -n $values ]]; then
            mapfile -t COMPREPLY < <(compgen -W "$values" -- "$cur")
        else
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        fi
        return
    fi
    values=$(FN_subcommands "$path")
    if [[ $cur == -* || -z $values ]]; then
        values=$(FN_options "$path")
    fi
    mapfile -t COMPREPLY < <(compgen -W "$values" -- "$cur")
}
complete -F FN PROGRAM
)";

// `text` with every `name` in it replaced by `value`.
std::string substituted(std::string text, const std::string& name, const std::string& value) {
    for (size_t at = text.find(name); at != std::string::npos;
         at = text.find(name, at + value.size()))
        text.replace(at, name.size(), value);
    return text;
}

} // namespace

std::string bashCompletion(const CLI::App& app, const std::string& program,
                           const ValueCommands& valueCommands) {
    std::string fn = "_" + program;
    std::replace_if(
        fn.begin(), fn.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
        '_');
    const std::vector<Command> all = commands(app);
    std::ostringstream out;

    out << "# bash completion for " << program << "              -*- shell-script -*-\n"
        << "# Generated from the program's own option definitions.\n\n";
    writeSubcommands(out, fn, all);
    writeOptions(out, fn, all);
    writeFallsThrough(out, fn, all);
    writeValue(out, fn, all, valueCommands);
    out << substituted(substituted(kCompleter, "FN", fn), "PROGRAM", program);
    return out.str();
}

} // namespace hnastools
