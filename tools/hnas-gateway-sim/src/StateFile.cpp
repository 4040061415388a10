// The JSON state document: the whole array, nested as it is held, so that a
// dump (GET /admin/state, writeStateJson) can seed a later run (--state).

#include <fstream>
#include <sstream>

#include "Documents.h"
#include "JsonRead.h"
#include "hnasgwsim/Model.h"

namespace hnasgwsim {

namespace {

std::vector<std::string> stringList(const JsonFields& f, const char* key) {
    std::vector<std::string> out;
    if (auto items = f.array(key)) {
        for (auto item : *items) {
            std::string_view text;
            if (item.get_string().get(text) != simdjson::SUCCESS)
                throw BadInput("\"" + std::string(key) + "\" of " + f.where() +
                               " must hold strings");
            out.emplace_back(text);
        }
    }
    return out;
}

void readSubsystem(const JsonFields& f, Subsystem& s) {
    s.name = f.string("name").value_or(s.name);
    s.clusterUUID = f.string("clusterUUID").value_or(s.clusterUUID);
    s.firmwareVersion = f.string("firmwareVersion").value_or(s.firmwareVersion);
    s.isCluster = f.boolean("isCluster").value_or(s.isCluster);
    s.model = f.string("model").value_or(s.model);
    s.nodeCount = static_cast<int>(f.integer("nodeCount").value_or(s.nodeCount));
    s.storageHealth = f.string("storageHealth").value_or(s.storageHealth);
    s.vendor = f.string("vendor").value_or(s.vendor);
    if (f.has("licenses"))
        s.licenses = stringList(f, "licenses");
}

Share readShare(ArrayState& a, const JsonFields& f, const VirtualServer& evs) {
    Share share;
    share.protocol = f.string("protocol").value_or("CIFS");
    if (share.protocol != "CIFS" && share.protocol != "NFS")
        throw BadInput("\"protocol\" of " + f.where() + " must be \"CIFS\" or \"NFS\"");
    share.objectId = f.string("objectId").value_or("");
    if (share.objectId.empty())
        share.objectId = a.newObjectId(share.protocol == "CIFS" ? 'C' : 'N');
    auto shareId = f.string("shareId");
    share.shareId = shareId ? *shareId : std::to_string(a.nextId++);
    share.name = f.requiredString("name");
    share.virtualServerId = evs.virtualServerId;
    share.filesystemId = f.requiredString("filesystemId");
    share.path = f.string("path").value_or("/");
    if (auto settings = f.object("settings"))
        for (auto [key, value] : *settings)
            share.settings.emplace_back(std::string(key), simdjson::to_string(value));
    const bool givenPermissions = f.has("cifsAuthentications");
    a.initialiseShare(share);
    const auto permissions = f.array("cifsAuthentications");
    if (givenPermissions && permissions && share.protocol == "CIFS") {
        share.cifsAuthentications.clear();
        for (auto item : *permissions) {
            JsonFields e(item, "a CIFS permission of share " + share.name);
            CifsPermission p;
            p.name = e.requiredString("name");
            p.encodedName = e.string("encodedName").value_or(encodeCifsName(p.name));
            p.permission = static_cast<int>(e.integer("permission").value_or(0));
            p.type = e.string("type").value_or("USER");
            share.cifsAuthentications.push_back(std::move(p));
        }
    }
    return share;
}

Snapshot readSnapshot(ArrayState& a, const JsonFields& sf, const FileSystem& fs) {
    Snapshot snap;
    snap.displayName = sf.requiredString("displayName");
    snap.objectId = sf.string("objectId").value_or("");
    if (snap.objectId.empty())
        snap.objectId = a.newObjectId('S');
    snap.filesystemId = fs.filesystemId;
    snap.state = sf.string("state").value_or(snap.state);
    snap.creationReason = sf.string("creationReason").value_or(snap.creationReason);
    snap.creationTime = sf.unsignedNumber("creationTime").value_or(0);
    snap.appSearchId = sf.string("appSearchId").value_or("");
    return snap;
}

// A directory is a path, or an object with "path" and "objectId".
void readDirectories(ArrayState& a, const JsonFields& f, FileSystem& fs) {
    if (auto dirs = f.array("directories")) {
        for (auto d : *dirs) {
            std::string_view path;
            if (d.get_string().get(path) == simdjson::SUCCESS) {
                a.addDirectory(fs, std::string(path));
                continue;
            }
            JsonFields df(d, "a directory of " + fs.label);
            a.addDirectory(fs, df.requiredString("path"), df.string("objectId").value_or(""));
        }
    }
}

FileSystem readFileSystem(ArrayState& a, const JsonFields& f) {
    FileSystem fs;
    fs.label = f.requiredString("label");
    fs.objectId = f.string("objectId").value_or("");
    if (fs.objectId.empty())
        fs.objectId = a.newObjectId('F');
    fs.filesystemId = f.string("filesystemId").value_or("");
    if (fs.filesystemId.empty())
        fs.filesystemId = a.newObjectId('I').substr(16);
    fs.status = f.string("status").value_or(fs.status);
    fs.capacity = f.unsignedNumber("capacity").value_or(0);
    fs.usedCapacity = f.unsignedNumber("usedCapacity").value_or(0);
    fs.freeCapacity =
        f.unsignedNumber("freeCapacity")
            .value_or(fs.capacity >= fs.usedCapacity ? fs.capacity - fs.usedCapacity : 0);
    fs.isReadOnly = f.boolean("isReadOnly").value_or(false);
    fs.virtualServerId = f.unsignedNumber("virtualServerId").value_or(1);
    if (auto snaps = f.array("snapshots"))
        for (auto s : *snaps)
            fs.snapshots.push_back(readSnapshot(a, JsonFields(s, "a snapshot of " + fs.label), fs));
    readDirectories(a, f, fs);
    return fs;
}

VirtualServer readVirtualServer(ArrayState& a, const JsonFields& f) {
    VirtualServer evs;
    evs.name = f.requiredString("name");
    evs.virtualServerId = f.unsignedNumber("virtualServerId").value_or(a.virtualServers.size() + 1);
    evs.objectId = f.string("objectId").value_or("");
    if (evs.objectId.empty())
        evs.objectId = a.newObjectId('E');
    evs.UUID = f.string("UUID").value_or(evs.objectId);
    evs.isEnabled = f.boolean("isEnabled").value_or(true);
    evs.status = f.string("status").value_or(evs.status);
    evs.type = f.string("type").value_or(evs.type);
    evs.ipAddresses = stringList(f, "ipAddresses");
    if (auto shares = f.array("shares"))
        for (auto s : *shares)
            evs.shares.push_back(readShare(a, JsonFields(s, "a share of " + evs.name), evs));
    return evs;
}

} // namespace

ArrayState loadStateJson(const std::string& json) {
    simdjson::dom::parser parser;
    ArrayState a;
    try {
        JsonFields root(parseObject(parser, json), "the state document");
        if (auto next = root.unsignedNumber("nextId"))
            a.nextId = std::max<std::uint64_t>(*next, 1);
        if (auto subsystem = root.object("subsystem"))
            readSubsystem(JsonFields(*subsystem, "\"subsystem\""), a.subsystem);
        // File systems first: shares refer to them.
        if (auto list = root.array("filesystems"))
            for (auto item : *list)
                a.fileSystems.push_back(readFileSystem(a, JsonFields(item, "a file system")));
        if (auto list = root.array("virtualServers"))
            for (auto item : *list)
                a.virtualServers.push_back(
                    readVirtualServer(a, JsonFields(item, "a virtual server")));
    } catch (const BadInput& e) {
        throw std::runtime_error(e.what());
    }
    return a;
}

ArrayState loadStateFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return loadStateJson(text.str());
}

namespace {

// The document `write` writes for `item`, without its closing brace, so that
// more members can follow.
template <typename T, typename Write> std::string openDocument(const T& item, Write write) {
    JsonWriter one;
    write(one, item);
    std::string text = one.take();
    text.pop_back();
    return text;
}

// A share as listed, plus its protocol and, for CIFS, its permissions.
void writeStateShare(JsonWriter& w, const Share& share) {
    std::string body = openDocument(share, writeShare);
    body += ",\"protocol\":" + jsonString(share.protocol);
    if (share.protocol == "CIFS")
        body += ",\"cifsAuthentications\":" +
                arrayDocument(share.cifsAuthentications, writeCifsPermission);
    w.raw(body + '}');
}

// A virtual server as listed, plus its shares.
void writeStateVirtualServer(JsonWriter& w, const VirtualServer& evs) {
    w.raw(openDocument(evs, writeVirtualServer) +
          ",\"shares\":" + arrayDocument(evs.shares, writeStateShare) + "}");
}

void writeStateDirectory(JsonWriter& w, const Directory& dir) {
    w.beginObject().member("objectId", dir.objectId).member("path", dir.path).endObject();
}

// A file system as listed, plus its snapshots and directories.
void writeStateFileSystem(JsonWriter& w, const FileSystem& fs) {
    w.raw(openDocument(fs, writeFileSystem) +
          ",\"snapshots\":" + arrayDocument(fs.snapshots, writeSnapshot) +
          ",\"directories\":" + arrayDocument(fs.directories, writeStateDirectory) + "}");
}

} // namespace

std::string writeStateJson(const ArrayState& a) {
    JsonWriter w;
    w.beginObject().member("nextId", a.nextId);
    w.key("subsystem").raw(fileDeviceDocument(a.subsystem));
    w.key("virtualServers").raw(arrayDocument(a.virtualServers, writeStateVirtualServer));
    w.key("filesystems").raw(arrayDocument(a.fileSystems, writeStateFileSystem));
    w.endObject();
    return w.take();
}

} // namespace hnasgwsim
