// Settings and CIFS permissions of a share to create.

#include "ShareSettings.h"

#include <climits>

#include <CLI/CLI.hpp>
#include <simdjson.h>

#include "Checks.h"
#include "Output.h"

namespace hnasctl {

namespace {

// A setting given by an option of its own: its key in the settings document,
// the option, its help, and the field of the settings it fills.
template <typename T> struct Setting {
    const char* key;
    const char* option;
    const char* help;
    T __HNASFileSystemShareSettings::*field;
};

using Settings = __HNASFileSystemShareSettings;

const Setting<std::string> kTextSettings[] = {
    {"accessConfig", "--access-config", "Hosts allowed to access the share (default \"*\")",
     &Settings::accessConfig},
    {"comment", "--comment", "Share comment (CIFS)", &Settings::comment},
    {"userHomeDirectoryPath", "--home-dir-path", "User home directory path (CIFS)",
     &Settings::userHomeDirectoryPath},
    {"cacheOption", "--cache-option", "Client-side caching (CIFS; default CACHING_OFF)",
     &Settings::cacheOption},
    {"snapshotOption", "--snapshot-option", "Snapshot visibility (default SHOW_AND_ALLOW_ACCESS)",
     &Settings::snapshotOption},
    {"transferToReplicationTargetSetting", "--replication-transfer",
     "Transfer to a replication target (default DO_NOT_TRANSFER)",
     &Settings::transferToReplicationTargetSetting},
    {"userHomeDirectoryMode", "--home-dir-mode", "User home directory mode (CIFS; default OFF)",
     &Settings::userHomeDirectoryMode},
    {"localReadCacheOption", "--local-read-cache", "Local read cache (NFS; default DISABLED)",
     &Settings::localReadCacheOption},
};

const Setting<bool> kFlagSettings[] = {
    {"isFollowSymbolicLinks", "--follow-symlinks,!--no-follow-symlinks",
     "Follow symbolic links (CIFS)", &Settings::isFollowSymbolicLinks},
    {"isFollowGlobalSymbolicLinks", "--follow-global-symlinks,!--no-follow-global-symlinks",
     "Follow global symbolic links (CIFS)", &Settings::isFollowGlobalSymbolicLinks},
    {"isABEEnabled", "--abe,!--no-abe", "Access-based enumeration (CIFS)", &Settings::isABEEnabled},
    {"isForceFileNameToLowercase", "--force-lowercase,!--no-force-lowercase",
     "Force file names to lower case (CIFS)", &Settings::isForceFileNameToLowercase},
    {"isScanForVirusesEnabled", "--scan-viruses,!--no-scan-viruses", "Scan for viruses (CIFS)",
     &Settings::isScanForVirusesEnabled},
};

const char* const kMaxUsersKey = "maxConcurrentUsers";
const char* const kPermissionsKey = "cifsAuthentications";

// The field of `s` that the setting `key` of `table` fills, or null.
template <typename T, size_t N>
T* fieldOf(const Setting<T> (&table)[N], Settings& s, const std::string& key) {
    for (const auto& setting : table) {
        if (key == setting.key) {
            return &(s.*setting.field);
        }
    }
    return nullptr;
}

std::string where(const std::string& path, const std::string& key) {
    return "settings file " + quoted(path) + ": \"" + key + "\"";
}

int permissionValue(const std::string& what, long long value) {
    if (value < INT_MIN || value > INT_MAX) {
        throw UsageError(what + ": the permission must fit in 32 bits");
    }
    return static_cast<int>(value);
}

void readPermissions(const std::string& path, simdjson::dom::array array,
                     std::vector<__HNASCIFSAuthentication>& out) {
    const std::string what = where(path, kPermissionsKey);
    for (simdjson::dom::element element : array) {
        simdjson::dom::object entry;
        if (element.get_object().get(entry)) {
            throw UsageError(what + ": every entry must be an object");
        }
        std::string name, type = "USER", encodedName;
        long long permission = 0;
        bool havePermission = false;
        for (auto member : entry) {
            const std::string key(member.key);
            std::string_view text;
            if (key == "permission") {
                int64_t number = 0;
                if (member.value.get_int64().get(number)) {
                    throw UsageError(what + ": \"permission\" must be a whole number");
                }
                permission = number;
                havePermission = true;
            } else if (key == "name" || key == "type" || key == "encodedName") {
                if (member.value.get_string().get(text)) {
                    throw UsageError(what + ": \"" + key + "\" must be a string");
                }
                (key == "name" ? name : key == "type" ? type : encodedName) = std::string(text);
            } else {
                throw UsageError(what + ": unknown member \"" + key + "\" in an entry");
            }
        }
        if (name.empty() || !havePermission) {
            throw UsageError(what + ": every entry needs \"name\" and \"permission\"");
        }
        out.push_back(
            permissionForRequest(name, permissionValue(what, permission), type, encodedName));
    }
}

} // namespace

std::vector<Field<Settings>> shareSettingFields() {
    std::vector<Field<Settings>> fields;
    for (const auto& setting : kTextSettings) {
        fields.push_back({setting.key, member(setting.field)});
    }
    for (const auto& setting : kFlagSettings) {
        fields.push_back({setting.key, member(setting.field)});
    }
    fields.push_back({kMaxUsersKey, member(&Settings::maxConcurrentUsers)});
    return fields;
}

void addShareSettingsOptions(CLI::App& app, ShareSettingsArgs& a) {
    const std::string group = "Share settings";
    app.add_option("--settings-file", a.settingsFile,
                   "JSON file with the settings and permissions, e.g. {\"comment\": \"...\", "
                   "\"maxConcurrentUsers\": 50, \"cifsAuthentications\": [{\"name\": "
                   "\"CORP\\\\alice\", \"permission\": 7, \"type\": \"USER\"}]}; options "
                   "given as well take precedence")
        ->check(CLI::ExistingFile)
        ->group(group);
    for (const auto& setting : kTextSettings) {
        a.given[setting.key] =
            app.add_option(setting.option, a.text[setting.key], setting.help)->group(group);
    }
    for (const auto& setting : kFlagSettings) {
        a.given[setting.key] =
            app.add_flag(setting.option, a.flags[setting.key], setting.help)->group(group);
    }
    a.given[kMaxUsersKey] = app.add_option("--max-users", a.maxUsers,
                                           "Maximum number of concurrent users (CIFS; default "
                                           "100)")
                                ->check(CLI::Range(0, INT_MAX))
                                ->group(group);
    app.add_option("--perm", a.permissions,
                   "A CIFS permission entry NAME=PERMISSION[,TYPE[,ENCODED_NAME]] (TYPE "
                   "defaults to USER), e.g. --perm 'CORP\\alice=7' --perm "
                   "'CORP\\auditors=1,GROUP'; repeat for more")
        ->group(group);
}

void readShareSettingsFile(const std::string& path, __HNASFileSystemShareSettings& settings) {
    simdjson::padded_string content;
    if (simdjson::padded_string::load(path).get(content)) {
        throw UsageError("cannot read the settings file " + quoted(path));
    }
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (parser.parse(content).get(root)) {
        throw UsageError("the settings file " + quoted(path) + " is not valid JSON");
    }
    simdjson::dom::object object;
    if (root.get_object().get(object)) {
        throw UsageError("the settings file " + quoted(path) + " must hold a JSON object");
    }
    for (auto member : object) {
        const std::string key(member.key);
        if (std::string* field = fieldOf(kTextSettings, settings, key)) {
            std::string_view text;
            if (member.value.get_string().get(text)) {
                throw UsageError(where(path, key) + " must be a string");
            }
            *field = jsonContent(std::string(text));
        } else if (bool* flag = fieldOf(kFlagSettings, settings, key)) {
            if (member.value.get_bool().get(*flag)) {
                throw UsageError(where(path, key) + " must be true or false");
            }
        } else if (key == kMaxUsersKey) {
            int64_t number = 0;
            if (member.value.get_int64().get(number) || number < 0 || number > INT_MAX) {
                throw UsageError(where(path, key) + " must be a whole number from 0 to " +
                                 std::to_string(INT_MAX));
            }
            settings.maxConcurrentUsers = static_cast<int>(number);
        } else if (key == kPermissionsKey) {
            simdjson::dom::array array;
            if (member.value.get_array().get(array)) {
                throw UsageError(where(path, key) + " must be an array");
            }
            settings.cifsAuthentications.clear();
            readPermissions(path, array, settings.cifsAuthentications);
        } else {
            throw UsageError("settings file " + quoted(path) + ": unknown key " + quoted(key));
        }
    }
}

__HNASFileSystemShareSettings buildShareSettings(const ShareSettingsArgs& a) {
    __HNASFileSystemShareSettings settings;
    if (!a.settingsFile.empty()) {
        readShareSettingsFile(a.settingsFile, settings);
    }
    const auto wasGiven = [&](const std::string& key) {
        const auto it = a.given.find(key);
        return it != a.given.end() && it->second != nullptr && it->second->count() > 0;
    };
    for (const auto& entry : a.text) {
        if (wasGiven(entry.first)) {
            *fieldOf(kTextSettings, settings, entry.first) = jsonContent(entry.second);
        }
    }
    for (const auto& entry : a.flags) {
        if (wasGiven(entry.first)) {
            *fieldOf(kFlagSettings, settings, entry.first) = entry.second;
        }
    }
    if (wasGiven(kMaxUsersKey)) {
        settings.maxConcurrentUsers = a.maxUsers;
    }
    if (!a.permissions.empty()) {
        settings.cifsAuthentications.clear();
        for (const auto& text : a.permissions) {
            settings.cifsAuthentications.push_back(parsePermission(text));
        }
    }
    return settings;
}

__HNASCIFSAuthentication parsePermission(const std::string& text) {
    const std::string usage =
        "--perm must be NAME=PERMISSION[,TYPE[,ENCODED_NAME]]: " + quoted(text);
    const size_t eq = text.rfind('=');
    if (eq == std::string::npos || eq == 0) {
        throw UsageError(usage);
    }
    const std::string name = text.substr(0, eq);
    std::vector<std::string> parts;
    size_t start = eq + 1;
    while (true) {
        const size_t comma = text.find(',', start);
        parts.push_back(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    if (parts.size() > 3) {
        throw UsageError(usage);
    }
    const int permission = permissionValue(
        "--perm", parseInteger("the permission of --perm " + name, parts[0], INT_MIN, INT_MAX));
    const std::string type = parts.size() > 1 && !parts[1].empty() ? parts[1] : "USER";
    const std::string encodedName = parts.size() > 2 ? parts[2] : "";
    return permissionForRequest(name, permission, type, encodedName);
}

__HNASCIFSAuthentication permissionForRequest(const std::string& name, int permission,
                                              const std::string& type,
                                              const std::string& encodedName) {
    requireNonEmpty("a permission entry's name", name);
    __HNASCIFSAuthentication entry;
    entry.name = jsonContent(name);
    entry.permission = permission;
    entry.type = jsonContent(type);
    entry.encodedName = jsonContent(encodedName);
    return entry;
}

} // namespace hnasctl
