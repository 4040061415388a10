#pragma once

// The subcommands of hnasctl, one family per file. Parsing a subcommand
// selects its action; main runs the action against a Session.

#include <functional>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

#include "Connection.h"
#include "RecordOutput.h"

namespace CLI {
class App;
}

namespace hnasctl {

// Runs one subcommand; returns the exit status (0 done, 1 failed).
using Action = std::function<int(Session&)>;

struct Selection {
    std::string name; // e.g. "snapshot create"
    Action action;
};

void addDeviceCommands(CLI::App& app, Selection& selection);     // info, evs
void addFileSystemCommands(CLI::App& app, Selection& selection); // fs
void addSnapshotCommands(CLI::App& app, Selection& selection);   // snapshot
void addShareCommands(CLI::App& app, Selection& selection);      // share, share perms
void addDirectoryCommands(CLI::App& app, Selection& selection);  // dir

// Finds a virtual server by name, IP address or EVS number (all digits).
// On failure reports it on stderr and returns false.
bool findVirtualServer(Session& session, const std::string& evs, __HNASVirtualServers& server);

// Prints `text` for people, or for scripts a JSON object with the members
// that `members` writes.
void printResult(Session& session, const std::string& text,
                 const std::function<void(JsonWriter&)>& members);

// Prints the answer of an "exists" question and returns the exit status:
// 0 when present, 1 when absent or when the question could not be answered.
int reportExists(Session& session, const std::string& what, bool present, bool failed);

// Prints records on stdout in the chosen form; returns the exit status 0.
template <typename Records> int show(Session& session, const Records& records) {
    if (session.json()) {
        JsonWriter json = jsonWriter();
        writeJson(json, records);
        printJson(std::cout, json);
    } else {
        tableOf(records).print(std::cout, session.output());
    }
    return 0;
}

// Selects the action `name` that reads records with `read(hnas, records)` and
// shows them; a failed read is reported under `name`.
template <typename Records, typename Read> Selection showing(const std::string& name, Read read) {
    return {name, [name, read](Session& s) {
                Records records;
                s.begin();
                if (!read(s.hnas(), records)) {
                    return s.fail(name);
                }
                return show(s, records);
            }};
}

// Adds the command group `name`, which takes one of the subcommands that
// `adders` add, and returns it.
using CommandAdder = void (*)(CLI::App* group, Selection& selection);
CLI::App* addCommandGroup(CLI::App& parent, const std::string& name, const std::string& description,
                          Selection& selection, std::initializer_list<CommandAdder> adders);

// Adds "--parallel N" to a command that walks a listing: the GETs the walk
// may have in flight at once, 1 to 64; `parallel` holds the default (8).
void addParallelOption(CLI::App* command, unsigned& parallel);

// Prints the outcome of an operation that returns nothing but success.
void reportDone(Session& session, const std::string& message);

// After a walk that skipped the items `names`: says on stderr "warning: WHAT
// N NOUN(s) FAILED: " and the first 20 names, each with its reason (then how
// many more), and returns the exit status 1; 0 when nothing was skipped.
int warnSkipped(const std::string& what, const std::string& noun, const std::string& failed,
                const std::vector<__HNASSkippedItem>& names);

// Prints the outcome of a deletion that succeeded: `deleted` false when the
// name matched nothing (no failure, but nothing was deleted either).
void reportDeletion(Session& session, bool deleted, const std::string& message);

} // namespace hnasctl
