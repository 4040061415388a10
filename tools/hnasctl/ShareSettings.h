#pragma once

// The settings and CIFS permissions of a share to create, from a JSON file
// and from command-line options.

#include <map>
#include <string>
#include <vector>

#include "RecordFields.h"
#include "hnasmgmt/json/HNASRecords.h"

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace hnasctl {

// What the user gave; options that were not given leave the file's value or
// the default in place.
struct ShareSettingsArgs {
    std::string settingsFile;
    std::map<std::string, std::string> text; // settings key -> value
    std::map<std::string, bool> flags;       // settings key -> value
    int maxUsers = 100;
    std::map<std::string, CLI::Option*> given; // settings key -> its option
    std::vector<std::string> permissions;      // "NAME=PERMISSION[,TYPE[,ENCODED_NAME]]"
};

// The settings that options and the settings file name, as fields under
// the same keys: text settings, flags, then the maximum number of users.
std::vector<Field<__HNASFileSystemShareSettings>> shareSettingFields();

// Adds the settings and permission options to a subcommand.
void addShareSettingsOptions(CLI::App& app, ShareSettingsArgs& args);

// Reads a settings document: a JSON object whose members are settings keys
// (accessConfig, comment, ..., maxConcurrentUsers) and, optionally,
// "cifsAuthentications": [{"name", "permission", "type", "encodedName"}].
// Throws UsageError naming the problem.
void readShareSettingsFile(const std::string& path, __HNASFileSystemShareSettings& settings);

// The settings and permissions to send: defaults, then the file, then the
// options. Every text is in the form the request body takes (JSON string
// content). Throws UsageError.
__HNASFileSystemShareSettings buildShareSettings(const ShareSettingsArgs& args);

// Reads one "NAME=PERMISSION[,TYPE[,ENCODED_NAME]]" entry. Throws UsageError.
__HNASCIFSAuthentication parsePermission(const std::string& text);

// A permission entry as the user wrote it, turned into the form the request
// body takes (the name with every backslash doubled).
__HNASCIFSAuthentication permissionForRequest(const std::string& name, int permission,
                                              const std::string& type,
                                              const std::string& encodedName);

} // namespace hnasctl
