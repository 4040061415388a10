#pragma once

// Named gateways in the user's configuration file, chosen with --profile NAME
// or HNAS_PROFILE. The file is $XDG_CONFIG_HOME/hnasctl/config, or
// ~/.config/hnasctl/config:
//
//   # comment
//   [prod]
//   gateway = gw.example.net:8444     (or: gateway = gw.example.net, port = 8444)
//   user = backup
//   management-ip = 192.0.2.10
//   subsystem-type = HNAS
//   cacert = /etc/ssl/array-gateway.pem   (or: pin = sha256//...)
//   password-file = ~/.config/hnasctl/prod.password
//
// A profile never holds the password itself. "cacert" and "password-file"
// may start with "~/" (the home directory); a relative path is taken beside
// the configuration file. The file (and a symbolic link to it) must belong to
// the user or root, and only its owner may write it.

#include <map>
#include <string>

namespace hnasctl {

// The keys of one profile, as written.
using Profile = std::map<std::string, std::string>;

// The configuration file's path; empty when neither XDG_CONFIG_HOME nor HOME
// is set.
std::string configPath();

// Reads profile `name` from the file at `path`. Throws UsageError when the
// file cannot be read, belongs to another user, can be written by its group
// or by others, has a line
// it does not understand or a key it does not know, or has no such profile.
Profile readProfile(const std::string& path, const std::string& name);

} // namespace hnasctl
