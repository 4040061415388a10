#include "Routes.h"

#include <algorithm>
#include <strings.h>
#include <vector>

#include "Documents.h"
#include "JsonRead.h"

namespace hnasgwsim {

namespace {

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        auto slash = path.find('/', start);
        parts.push_back(path.substr(start, slash - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return parts;
}

std::string joinFrom(const std::vector<std::string>& parts, size_t first) {
    std::string out;
    for (size_t i = first; i < parts.size(); ++i) {
        if (i > first)
            out += '/';
        out += parts[i];
    }
    return out;
}

bool iequals(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

// "CIFS" or "NFS" for a protocol segment in any case; empty otherwise.
std::string protocolOf(const std::string& segment) {
    if (iequals(segment, "CIFS"))
        return "CIFS";
    if (iequals(segment, "NFS"))
        return "NFS";
    return {};
}

Reply ok(int status, std::string body) {
    return Reply{status, std::move(body)};
}

Reply notFound(const std::string& what) {
    return errorReply(404, "The requested object does not exist.", what);
}

Reply badRequest(const std::string& reason) {
    return errorReply(400, "The request is not valid.", reason);
}

Reply methodNotAllowed(const std::string& method, const std::string& resource) {
    return errorReply(405, "The method is not supported for this resource.",
                      method + " is not supported on " + resource);
}

thread_local simdjson::dom::parser tlsParser;

JsonFields bodyFields(const std::string& body) {
    return JsonFields(parseObject(tlsParser, body), "the request body");
}

// ---- storage subsystem, virtual servers, file systems ----

Reply listVirtualServers(ArrayState& a) {
    return ok(200, listDocument("virtualServers", a.virtualServers, writeVirtualServer));
}

Reply listShares(ArrayState& a, const std::string& evsObjectId, const std::string& protocol) {
    auto* evs = a.findVirtualServerByObjectId(evsObjectId);
    if (!evs)
        return notFound("virtual server " + evsObjectId + " not found");
    return ok(200, listDocument("filesystemShares", evs->shares, writeShare,
                                [&](const Share& share) { return share.protocol == protocol; }));
}

Reply listFileSystems(ArrayState& a) {
    return ok(200, listDocument("filesystems", a.fileSystems, writeFileSystem));
}

Reply oneFileSystem(ArrayState& a, const std::string& id) {
    auto* fs = a.findFileSystem(id);
    if (!fs)
        return notFound("file system " + id + " not found");
    return ok(200, wrappedDocument("filesystem", *fs, writeFileSystem));
}

Reply fileSystemVirtualServers(ArrayState& a, const std::string& id) {
    auto* fs = a.findFileSystem(id);
    if (!fs)
        return notFound("file system " + id + " not found");
    const VirtualServer* owner = a.findVirtualServerById(fs->virtualServerId);
    return ok(200, listDocument("virtualServers", a.virtualServers, writeVirtualServer,
                                [&](const VirtualServer& evs) { return &evs == owner; }));
}

Reply listDirectories(ArrayState& a, const std::string& fsId, const std::string& dirId) {
    auto* fs = a.findFileSystem(fsId);
    if (!fs)
        return notFound("file system " + fsId + " not found");
    std::string parent = "/";
    if (!dirId.empty()) {
        auto it = std::find_if(fs->directories.begin(), fs->directories.end(),
                               [&](const Directory& d) { return d.objectId == dirId; });
        if (it == fs->directories.end())
            return notFound("directory " + dirId + " not found in file system " + fsId);
        parent = it->path + "/";
    }
    return ok(200, listDocument("directories", fs->directories, writeDirectory,
                                [&](const Directory& dir) {
                                    return dir.path.size() > parent.size() &&
                                           dir.path.compare(0, parent.size(), parent) == 0 &&
                                           dir.path.find('/', parent.size()) == std::string::npos;
                                }));
}

// ---- snapshots ----

Reply createSnapshot(ArrayState& a, const std::string& body, std::uint64_t now) {
    auto f = bodyFields(body);
    Snapshot snap;
    snap.displayName = f.requiredString("displayName");
    const std::string fsId = f.requiredString("filesystemId");
    snap.appSearchId = f.string("appSearchId").value_or("");
    if (snap.displayName.empty())
        return badRequest("\"displayName\" is empty");
    if (snap.displayName.size() > 255)
        return badRequest("\"displayName\" is longer than 255 bytes");
    if (snap.displayName.find_first_of("/\\") != std::string::npos)
        return badRequest("\"displayName\" must not contain a slash or a backslash");
    auto* fs = a.findFileSystem(fsId);
    if (!fs)
        return badRequest("file system " + fsId + " does not exist");
    snap.objectId = a.newObjectId('S');
    snap.filesystemId = fs->filesystemId;
    snap.creationTime = now;
    snap.creationReason = "USER_REQUEST";
    fs->snapshots.push_back(snap);
    return ok(201, wrappedDocument("snapshot", snap, writeSnapshot));
}

Reply listSnapshots(ArrayState& a, const std::string& fsId, const std::string& prefix) {
    auto* fs = a.findFileSystem(fsId);
    if (!fs)
        return notFound("file system " + fsId + " not found");
    return ok(200,
              listDocument("snapshots", fs->snapshots, writeSnapshot, [&](const Snapshot& snap) {
                  return snap.displayName.compare(0, prefix.size(), prefix) == 0;
              }));
}

Reply deleteSnapshot(ArrayState& a, const std::string& objectId) {
    FileSystem* owner = nullptr;
    auto* snap = a.findSnapshot(objectId, &owner);
    if (!snap)
        return notFound("snapshot " + objectId + " not found");
    owner->snapshots.erase(owner->snapshots.begin() + (snap - owner->snapshots.data()));
    return ok(204, "");
}

Reply recoverSnapshot(ArrayState& a, const std::string& objectId) {
    if (!a.findSnapshot(objectId))
        return notFound("snapshot " + objectId + " not found");
    ++a.recoveries;
    return ok(204, "");
}

// ---- shares ----

bool validShareName(const std::string& name, const std::string& protocol, std::string& why) {
    if (name.empty()) {
        why = "\"name\" is empty";
        return false;
    }
    if (name.size() > 80) {
        why = "\"name\" is longer than 80 bytes";
        return false;
    }
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f) {
            why = "\"name\" contains a control character";
            return false;
        }
    }
    if (protocol == "CIFS" && name.find_first_of("\\/:*?\"<>|") != std::string::npos) {
        why = "a CIFS share name must not contain any of \\ / : * ? \" < > |";
        return false;
    }
    return true;
}

// Known settings and the JSON type each must have.
const char* settingType(const std::string& key) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {"accessConfig", "string"},
        {"comment", "string"},
        {"userHomeDirectoryPath", "string"},
        {"cacheOption", "string"},
        {"snapshotOption", "string"},
        {"transferToReplicationTargetSetting", "string"},
        {"userHomeDirectoryMode", "string"},
        {"localReadCacheOption", "string"},
        {"isFollowSymbolicLinks", "bool"},
        {"isFollowGlobalSymbolicLinks", "bool"},
        {"isABEEnabled", "bool"},
        {"isForceFileNameToLowercase", "bool"},
        {"isScanForVirusesEnabled", "bool"},
        {"maxConcurrentUsers", "integer"},
    };
    for (const auto& [name, type] : kTypes)
        if (key == name)
            return type;
    return nullptr;
}

bool settingHasType(simdjson::dom::element value, const char* type) {
    using T = simdjson::dom::element_type;
    const auto t = value.type();
    if (std::string(type) == "string")
        return t == T::STRING;
    if (std::string(type) == "bool")
        return t == T::BOOL;
    return t == T::INT64 || t == T::UINT64;
}

Reply createShare(ArrayState& a, const std::string& protocol, const std::string& body) {
    auto f = bodyFields(body);
    Share share;
    share.protocol = protocol;
    share.name = f.requiredString("name");
    auto evsId = f.unsignedNumber("virtualServerId");
    if (!evsId)
        return badRequest("member \"virtualServerId\" of the request body is missing");
    const std::string fsId = f.requiredString("filesystemId");
    share.path = f.requiredString("filesystemPath");
    std::string why;
    if (!validShareName(share.name, protocol, why))
        return badRequest(why);
    if (share.path.empty() || share.path[0] != '/')
        return badRequest("\"filesystemPath\" must be an absolute path starting with /");
    if (auto settings = f.object("settings")) {
        for (auto [key, value] : *settings) {
            const std::string name(key);
            if (const char* type = settingType(name); type && !settingHasType(value, type))
                return badRequest("setting \"" + name + "\" must be a " + type);
            if (name == "maxConcurrentUsers") {
                std::int64_t users = 0;
                if (value.get_int64().get(users) != simdjson::SUCCESS || users < 0)
                    return badRequest("setting \"maxConcurrentUsers\" must not be negative");
            }
            share.settings.emplace_back(name, simdjson::to_string(value));
        }
    }
    auto* evs = a.findVirtualServerById(*evsId);
    if (!evs)
        return badRequest("virtual server " + std::to_string(*evsId) + " does not exist");
    auto* fs = a.findFileSystem(fsId);
    if (!fs)
        return badRequest("file system " + fsId + " does not exist");
    if (fs->virtualServerId != evs->virtualServerId)
        return badRequest("file system " + fsId + " is not served by virtual server " +
                          std::to_string(*evsId));
    for (const auto& other : evs->shares) {
        if (other.protocol != protocol)
            continue;
        const bool same =
            protocol == "CIFS" ? iequals(other.name, share.name) : other.name == share.name;
        if (same)
            return errorReply(409, "The share already exists.",
                              protocol + " share " + share.name + " already exists on " +
                                  evs->name);
    }
    share.objectId = a.newObjectId(protocol == "CIFS" ? 'C' : 'N');
    share.shareId = std::to_string(a.nextId++);
    share.virtualServerId = evs->virtualServerId;
    share.filesystemId = fs->filesystemId;
    a.initialiseShare(share);
    evs->shares.push_back(share);
    return ok(201, wrappedDocument("filesystemShare", share, writeShare));
}

Reply oneShare(ArrayState& a, const std::string& protocol, const std::string& objectId) {
    auto* share = a.findShare(protocol, objectId);
    if (!share)
        return notFound(protocol + " share " + objectId + " not found");
    return ok(200, wrappedDocument("filesystemShare", *share, writeShare));
}

Reply deleteShare(ArrayState& a, const std::string& protocol, const std::string& objectId) {
    for (auto& evs : a.virtualServers) {
        auto it = std::find_if(evs.shares.begin(), evs.shares.end(), [&](const Share& s) {
            return s.objectId == objectId && s.protocol == protocol;
        });
        if (it != evs.shares.end()) {
            evs.shares.erase(it);
            return ok(204, "");
        }
    }
    return notFound(protocol + " share " + objectId + " not found");
}

// ---- CIFS permissions ----

Reply listPermissions(const Share& share) {
    return ok(200,
              listDocument("cifsAuthentications", share.cifsAuthentications, writeCifsPermission));
}

Reply addPermissions(Share& share, const std::string& body) {
    auto f = bodyFields(body);
    auto list = f.array("cifsAuthentications");
    if (!list)
        return badRequest("member \"cifsAuthentications\" of the request body is missing");
    std::vector<CifsPermission> entries;
    for (auto item : *list) {
        JsonFields e(item, "a \"cifsAuthentications\" entry");
        CifsPermission p;
        p.name = e.requiredString("name");
        if (p.name.empty())
            return badRequest("a \"cifsAuthentications\" entry has an empty \"name\"");
        auto permission = e.integer("permission");
        if (!permission)
            return badRequest("a \"cifsAuthentications\" entry has no \"permission\"");
        if (*permission < 0 || *permission > 0xFFFF)
            return badRequest("\"permission\" " + std::to_string(*permission) + " is out of range");
        p.permission = static_cast<int>(*permission);
        p.type = e.string("type").value_or("USER");
        e.string("encodedName"); // type-checked; the array encodes names itself
        p.encodedName = encodeCifsName(p.name);
        entries.push_back(std::move(p));
    }
    if (entries.empty())
        return badRequest("\"cifsAuthentications\" is empty");
    for (auto& entry : entries) {
        auto it =
            std::find_if(share.cifsAuthentications.begin(), share.cifsAuthentications.end(),
                         [&](const CifsPermission& p) { return iequals(p.name, entry.name); });
        if (it != share.cifsAuthentications.end())
            *it = entry;
        else
            share.cifsAuthentications.push_back(entry);
    }
    Reply reply = listPermissions(share);
    reply.status = 201;
    return reply;
}

Reply deletePermission(Share& share, const std::string& encodedName) {
    auto& list = share.cifsAuthentications;
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const CifsPermission& p) { return p.encodedName == encodedName; });
    if (it == list.end())
        return notFound("permission " + encodedName + " not found on share " + share.name);
    list.erase(it);
    return ok(204, "");
}

// The share resources: "filesystem-shares/<protocol>[/<id>[/authentications[/<name>]]]".
Reply routeShares(ArrayState& a, const std::string& method, const std::string& resource,
                  const std::vector<std::string>& p, const std::string& body) {
    const size_t n = p.size();
    const bool get = method == "GET", post = method == "POST", del = method == "DELETE";
    const std::string protocol = protocolOf(p[1]);
    if (n == 2) {
        if (!post)
            return methodNotAllowed(method, resource);
        return createShare(a, protocol, body);
    }
    if (n == 3) {
        if (del)
            return deleteShare(a, protocol, p[2]);
        if (get)
            return oneShare(a, protocol, p[2]);
        return methodNotAllowed(method, resource);
    }
    if (protocol == "CIFS" && p[3] == "authentications" && (n == 4 || n == 5)) {
        auto* share = a.findShare("CIFS", p[2]);
        if (!share)
            return notFound("CIFS share " + p[2] + " not found");
        if (n == 4 && get)
            return listPermissions(*share);
        if (n == 4 && post)
            return addPermissions(*share, body);
        if (n == 5 && del)
            return deletePermission(*share, p[4]);
        return methodNotAllowed(method, resource);
    }
    return notFound("no resource " + resource);
}

Reply route(ArrayState& a, const std::string& method, const std::string& resource,
            const std::string& body, std::uint64_t now) {
    const auto p = splitPath(resource);
    const size_t n = p.size();
    const std::string& top = p[0];
    const bool get = method == "GET", post = method == "POST", del = method == "DELETE";

    if (top == "file-devices" && n == 1) {
        if (!get)
            return methodNotAllowed(method, resource);
        return ok(200, fileDeviceDocument(a.subsystem));
    }

    if (top == "virtual-servers") {
        if (!get)
            return methodNotAllowed(method, resource);
        if (n == 1 || (n == 2 && p[1].empty()))
            return listVirtualServers(a);
        if (n == 2) {
            auto* evs = a.findVirtualServerByObjectId(p[1]);
            if (!evs)
                return notFound("virtual server " + p[1] + " not found");
            return ok(200, wrappedDocument("virtualServer", *evs, writeVirtualServer));
        }
        if (n == 3 && !protocolOf(p[2]).empty())
            return listShares(a, p[1], protocolOf(p[2]));
    }

    if (top == "filesystems") {
        if (!get)
            return methodNotAllowed(method, resource);
        if (n == 1 || (n == 2 && p[1].empty()))
            return listFileSystems(a);
        if (n == 2)
            return oneFileSystem(a, p[1]);
        if (n == 3 && p[2] == "virtual-servers")
            return fileSystemVirtualServers(a, p[1]);
        if (p[2] == "directories" && (n == 3 || n == 4))
            return listDirectories(a, p[1], n == 4 ? p[3] : "");
    }

    if (top == "filesystem-snapshots") {
        if (n == 1 || (n == 2 && p[1].empty())) {
            if (!post)
                return methodNotAllowed(method, resource);
            return createSnapshot(a, body, now);
        }
        if (post && n == 3 && p[2] == "recover")
            return recoverSnapshot(a, p[1]);
        if (del && n == 2)
            return deleteSnapshot(a, p[1]);
        if (get)
            return listSnapshots(a, p[1], joinFrom(p, 2));
        return methodNotAllowed(method, resource);
    }

    if (top == "filesystem-shares" && n >= 2 && !protocolOf(p[1]).empty())
        return routeShares(a, method, resource, p, body);

    return notFound("no resource " + resource);
}

} // namespace

Reply errorReply(int status, const std::string& message, const std::string& reason) {
    return Reply{status, errorDocument(status, message, reason)};
}

Reply handleStorage(ArrayState& array, const std::string& method, const std::string& resource,
                    const std::string& body, std::uint64_t now) {
    try {
        return route(array, method, resource, body, now);
    } catch (const BadInput& e) {
        return badRequest(e.what());
    }
}

} // namespace hnasgwsim
