#include "CliWalk.h"

#include <cctype>

#include <CLI/CLI.hpp>

namespace hnastools {

namespace {

bool isOptionGroup(const CLI::App* app) {
    return app->get_name().empty();
}

void collect(const CLI::App& app, std::vector<std::string> path, std::vector<Command>& out) {
    out.push_back({path, &app});
    for (const CLI::App* sub : app.get_subcommands(
             [](const CLI::App* a) { return !isOptionGroup(a) && !a->get_group().empty(); })) {
        path.push_back(sub->get_name());
        collect(*sub, path, out);
        path.pop_back();
    }
}

void collectOptions(const CLI::App& app, bool wantPositionals,
                    std::vector<const CLI::Option*>& out) {
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_group().empty())
            continue;
        bool positionalOnly = option->get_lnames().empty() && option->get_snames().empty();
        if (positionalOnly == wantPositionals)
            out.push_back(option);
    }
    for (const CLI::App* group : app.get_subcommands(isOptionGroup))
        collectOptions(*group, wantPositionals, out);
}

} // namespace

std::vector<Command> commands(const CLI::App& program) {
    std::vector<Command> out;
    collect(program, {}, out);
    return out;
}

std::vector<const CLI::Option*> visibleOptions(const CLI::App& app) {
    std::vector<const CLI::Option*> out;
    collectOptions(app, false, out);
    return out;
}

std::vector<const CLI::Option*> positionals(const CLI::App& app) {
    std::vector<const CLI::Option*> out;
    collectOptions(app, true, out);
    return out;
}

std::vector<std::string> optionNames(const CLI::Option& option) {
    std::vector<std::string> names;
    for (const std::string& s : option.get_snames())
        names.push_back("-" + s);
    for (const std::string& l : option.get_lnames())
        names.push_back("--" + l);
    return names;
}

bool takesValue(const CLI::Option& option) {
    return option.get_type_size_max() > 0 && option.get_expected_max() > 0;
}

std::vector<std::string> choices(const CLI::Option& option) {
    const std::string type = option.get_type_name();
    const auto open = type.find('{');
    const auto close = type.find('}', open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    std::vector<std::string> values;
    std::string value;
    for (char c : type.substr(open + 1, close - open - 1)) {
        if (c == ',') {
            values.push_back(value);
            value.clear();
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' ||
                   c == '-') {
            value += c;
        } else {
            return {}; // not a plain word: offer nothing rather than something wrong
        }
    }
    values.push_back(value);
    return values;
}

std::string joined(const std::vector<std::string>& path) {
    std::string text;
    for (const std::string& name : path)
        text += (text.empty() ? "" : " ") + name;
    return text;
}

} // namespace hnastools
