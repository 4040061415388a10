#include "ManPage.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "CliWalk.h"
#include "hnasmgmt/Version.h"

namespace hnastools {

namespace {

// Text set in roff: backslashes and hyphens escaped (so that options stay
// ASCII hyphen-minus when copied from the page), control characters blanked.
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else if (std::iscntrl(static_cast<unsigned char>(c)))
            out += ' ';
        else
            out += c;
    }
    return out;
}

// A line of text that roff does not take for a request: one starting with a
// period or an apostrophe is protected.
std::string textLine(const std::string& text) {
    std::string line = roff(text);
    if (!line.empty() && (line[0] == '.' || line[0] == '\''))
        line = "\\&" + line;
    return line;
}

// One paragraph per line of the text.
void paragraphs(std::ostream& out, const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        const auto start = line.find_first_not_of(' ');
        if (start == std::string::npos)
            continue;
        if (!first)
            out << ".PP\n";
        first = false;
        out << textLine(line.substr(start)) << '\n';
    }
}

// A hand-written section: paragraphs, and runs of lines that start with two
// blanks as literal blocks.
void sectionText(std::ostream& out, const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    bool literal = false;
    bool first = true;
    while (std::getline(lines, line)) {
        const bool verbatim = line.compare(0, 2, "  ") == 0;
        if (literal && !verbatim)
            out << ".fi\n.RE\n";
        if (verbatim && !literal)
            out << (first ? "" : ".PP\n") << ".RS 4\n.nf\n";
        else if (!verbatim && !line.empty())
            out << (first ? "" : ".PP\n");
        literal = verbatim;
        if (!line.empty())
            first = false;
        if (verbatim)
            out << textLine(line.substr(2)) << '\n';
        else if (!line.empty())
            out << textLine(line) << '\n';
    }
    if (literal)
        out << ".fi\n.RE\n";
}

std::string bold(const std::string& text) {
    return "\\fB" + roff(text) + "\\fR";
}

std::string italic(const std::string& text) {
    return "\\fI" + roff(text) + "\\fR";
}

bool hasSubcommands(const CLI::App& app) {
    return commands(app).size() > 1;
}

// A description as a sentence: with a full stop unless it ends in one.
std::string sentence(const std::string& text) {
    if (text.empty() || text.back() == '.' || text.back() == '!' || text.back() == '?')
        return text;
    return text + ".";
}

// "TEXT:{CIFS,NFS}" -> "TEXT"; a flag has none.
std::string valueName(const CLI::Option& option) {
    std::string type = option.get_type_name();
    type = type.substr(0, type.find(':'));
    return type.empty() ? "VALUE" : type;
}

void optionItem(std::ostream& out, const CLI::Option& option) {
    out << ".TP\n";
    std::string head;
    for (const std::string& name : optionNames(option))
        head += (head.empty() ? "" : ", ") + bold(name);
    if (takesValue(option))
        head += " " + italic(valueName(option));
    out << head << '\n';
    std::string text = sentence(option.get_description());
    const std::vector<std::string> values = choices(option);
    if (!values.empty()) {
        std::string list;
        for (const std::string& v : values)
            list += (list.empty() ? "" : ", ") + v;
        text += " One of: " + list + ".";
    }
    const std::string type = option.get_type_name(); // "FLOAT:FLOAT in [0.001 - 3600]"
    const auto range = type.find(" in [");
    if (range != std::string::npos)
        text += " Range: " + type.substr(range + 4, type.find(']', range) - range - 3) + ".";
    if (!option.get_default_str().empty())
        text += " Default: " + option.get_default_str() + ".";
    if (option.get_required())
        text += " Required.";
    if (takesValue(option) && option.get_expected_max() > 1)
        text += " May be given more than once.";
    if (!option.get_envname().empty())
        text += " Environment: " + option.get_envname() + ".";
    out << textLine(text) << '\n';
}

void positionalItem(std::ostream& out, const CLI::Option& option) {
    out << ".TP\n" << italic(option.get_name(true)) << '\n';
    std::string text = sentence(option.get_description());
    if (!option.get_required())
        text += " Optional.";
    out << textLine(text) << '\n';
}

// Options under their group headings, in the order the groups first appear.
void optionList(std::ostream& out, const std::vector<const CLI::Option*>& options, bool headings) {
    std::vector<std::string> groups;
    for (const CLI::Option* option : options) {
        if (std::find(groups.begin(), groups.end(), option->get_group()) == groups.end())
            groups.push_back(option->get_group());
    }
    for (const std::string& group : groups) {
        if (headings && groups.size() > 1)
            out << ".SS \"" << roff(group) << "\"\n";
        for (const CLI::Option* option : options) {
            if (option->get_group() == group)
                optionItem(out, *option);
        }
    }
}

std::string synopsisOf(const ManPageInfo& info, const Command& command) {
    std::string text = bold(info.program);
    for (const std::string& name : command.path)
        text += " " + bold(name);
    if (!visibleOptions(*command.app).empty())
        text += " [" + italic("OPTIONS") + "]";
    for (const CLI::Option* p : positionals(*command.app)) {
        const std::string name = italic(p->get_name(true));
        text += " " + (p->get_required() ? name : "[" + name + "]");
    }
    if (hasSubcommands(*command.app))
        text += " " + italic("COMMAND");
    return text;
}

// The program's description without a leading "name - ".
std::string summary(const CLI::App& program, const std::string& name) {
    std::string text = program.get_description();
    const std::string prefix = name + " - ";
    if (text.compare(0, prefix.size(), prefix) == 0)
        text = text.substr(prefix.size());
    return text;
}

} // namespace

std::string manPage(const CLI::App& program, const ManPageInfo& info) {
    std::ostringstream out;
    std::string upper;
    for (char c : info.program)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::vector<Command> all = commands(program);

    out << ".TH \"" << roff(upper) << "\" \"1\" \"\" \"hnasmgmt " << HNASMGMT_VERSION_STRING
        << "\" \"User Commands\"\n";
    out << ".SH NAME\n"
        << roff(info.program) << " \\- " << roff(summary(program, info.program)) << '\n';

    out << ".SH SYNOPSIS\n" << synopsisOf(info, all.front()) << '\n';
    out << ".SH DESCRIPTION\n";
    std::string description = sentence(summary(program, info.program));
    if (!description.empty())
        description[0] =
            static_cast<char>(std::toupper(static_cast<unsigned char>(description[0])));
    paragraphs(out, description);
    if (all.size() > 1) {
        out << ".PP\nCommands: ";
        std::string list;
        for (const CLI::App* sub :
             program.get_subcommands([](const CLI::App* a) { return !a->get_name().empty(); }))
            list += (list.empty() ? "" : ", ") + bold(sub->get_name());
        out << list << ". Each is described under COMMANDS below.\n";
    }

    out << ".SH OPTIONS\n";
    optionList(out, visibleOptions(program), true);

    if (all.size() > 1) {
        out << ".SH COMMANDS\n";
        for (auto it = all.begin() + 1; it != all.end(); ++it) {
            out << ".SS \"" << roff(info.program + " " + joined(it->path)) << "\"\n";
            out << synopsisOf(info, *it) << "\n.PP\n";
            paragraphs(out, sentence(it->app->get_description()));
            for (const CLI::Option* p : positionals(*it->app))
                positionalItem(out, *p);
            std::vector<const CLI::Option*> options;
            for (const CLI::Option* o : visibleOptions(*it->app)) {
                if (o != it->app->get_help_ptr())
                    options.push_back(o);
            }
            optionList(out, options, false);
        }
    }

    std::vector<std::pair<std::string, std::string>> environment;
    for (const Command& command : all) {
        for (const CLI::Option* o : visibleOptions(*command.app)) {
            const std::string variable = o->get_envname();
            const bool listed = std::any_of(environment.begin(), environment.end(),
                                            [&](const auto& e) { return e.first == variable; });
            if (!variable.empty() && !listed)
                environment.emplace_back(variable, optionNames(*o).back());
        }
    }
    if (!environment.empty()) {
        out << ".SH ENVIRONMENT\n";
        for (const auto& [variable, option] : environment)
            out << ".TP\n" << bold(variable) << "\nThe value of " << bold(option) << ".\n";
    }
    if (!program.get_footer().empty()) {
        out << ".SH NOTES\n";
        paragraphs(out, program.get_footer());
    }
    for (const ManSection& section : info.sections) {
        out << ".SH \"" << roff(section.title) << "\"\n";
        sectionText(out, section.text);
    }
    if (!info.seeAlso.empty()) {
        const auto open = info.seeAlso.find('(');
        out << ".SH SEE ALSO\n"
            << bold(info.seeAlso.substr(0, open))
            << (open == std::string::npos ? "" : info.seeAlso.substr(open)) << '\n';
    }
    return out.str();
}

} // namespace hnastools
