#include "sdcard/TKBlockDevices.h"

#include <nlohmann/json.hpp>

#include <charconv>

namespace {

using Json = nlohmann::json;

std::optional<std::string> textAt(const Json& node, const char* key)
{
    const auto found = node.find(key);
    if (found == node.end() || !found->is_string())
        return std::nullopt;
    return found->get<std::string>();
}

std::optional<uint64_t> numberAt(const Json& node, const char* key)
{
    const auto found = node.find(key);
    if (found == node.end())
        return std::nullopt;
    if (found->is_number_unsigned())
        return found->get<uint64_t>();
    if (found->is_number_integer()) {
        const auto value = found->get<int64_t>();
        return value < 0 ? std::nullopt : std::optional<uint64_t>(static_cast<uint64_t>(value));
    }
    if (found->is_string()) {
        const auto& text = found->get_ref<const std::string&>();
        uint64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error == std::errc() && end == text.data() + text.size() && !text.empty())
            return value;
    }
    return std::nullopt;
}

bool flagAt(const Json& node, const char* key)
{
    const auto found = node.find(key);
    if (found == node.end())
        return false;
    if (found->is_boolean())
        return found->get<bool>();
    if (found->is_number())
        return numberAt(node, key).value_or(0) != 0;
    if (found->is_string()) {
        const auto& text = found->get_ref<const std::string&>();
        return text == "1" || text == "true";
    }
    return false;
}

// What a node passes on to its children.
struct Inherited {
    std::string transport;
    bool removable = false;
    bool readOnly = false;
    std::optional<std::string> model;
    std::optional<std::string> serial;
    std::optional<std::string> partitionTableUUID;
    std::string diskPath;
};

std::optional<std::string> trimmed(std::optional<std::string> text)
{
    if (!text)
        return text;
    const auto first = text->find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    const auto last = text->find_last_not_of(" \t");
    return text->substr(first, last - first + 1);
}

bool walk(const Json& node, const Inherited& parent, bool topLevel, bool mountedOnly, std::vector<TKBlockVolume>& volumes)
{
    if (!node.is_object())
        return false;
    const auto name = textAt(node, "name");
    if (!name)
        return false;

    Inherited here = parent;
    const std::string path = textAt(node, "path").value_or("/dev/" + *name);
    if (topLevel)
        here.diskPath = path;
    if (auto transport = textAt(node, "tran"))
        here.transport = *transport;
    here.removable = parent.removable || flagAt(node, "rm") || flagAt(node, "hotplug");
    here.readOnly = parent.readOnly || flagAt(node, "ro");
    if (auto model = trimmed(textAt(node, "model")))
        here.model = model;
    if (auto serial = trimmed(textAt(node, "serial")))
        here.serial = serial;
    if (auto table = textAt(node, "ptuuid"))
        here.partitionTableUUID = table;

    // "[SWAP]" and the like are not folders a card's files could be in.
    const auto mountPoint = textAt(node, "mountpoint");
    const bool mounted = mountPoint && !mountPoint->empty() && mountPoint->front() == '/';
    if (mounted || !mountedOnly) {
        TKBlockVolume volume;
        volume.name = *name;
        volume.devicePath = path;
        volume.mountPoint = mounted ? *mountPoint : std::string();
        volume.label = textAt(node, "label");
        volume.fileSystem = textAt(node, "fstype");
        volume.transport = here.transport;
        volume.removable = here.removable;
        volume.readOnly = here.readOnly;
        volume.size = numberAt(node, "size").value_or(0);
        volume.model = here.model;
        volume.serial = here.serial;
        volume.partitionTableUUID = here.partitionTableUUID;
        volume.uuid = textAt(node, "uuid");
        volume.mediaWhole = topLevel;
        volume.diskPath = here.diskPath;
        volumes.push_back(std::move(volume));
    }

    const auto children = node.find("children");
    if (children == node.end())
        return true;
    if (!children->is_array())
        return false;
    for (const auto& child : *children) {
        if (!walk(child, here, false, mountedOnly, volumes))
            return false;
    }
    return true;
}

} // namespace

std::string TKBlockVolume::volumeName() const
{
    if (label && !label->empty())
        return *label;
    const auto end = mountPoint.find_last_not_of('/');
    if (end == std::string::npos)
        return mountPoint;
    const auto slash = mountPoint.rfind('/', end);
    return mountPoint.substr(slash + 1, end - slash);
}

namespace {

bool parse(std::string_view json, bool mountedOnly, std::vector<TKBlockVolume>& volumes)
{
    volumes.clear();
    const Json document = Json::parse(json.begin(), json.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object())
        return false;
    const auto devices = document.find("blockdevices");
    if (devices == document.end() || !devices->is_array())
        return false;
    std::vector<TKBlockVolume> found;
    for (const auto& device : *devices) {
        if (!walk(device, {}, true, mountedOnly, found))
            return false;
    }
    volumes = std::move(found);
    return true;
}

} // namespace

bool TKParseBlockVolumes(std::string_view json, std::vector<TKBlockVolume>& volumes)
{
    return parse(json, true, volumes);
}

bool TKParseBlockNodes(std::string_view json, std::vector<TKBlockVolume>& nodes)
{
    return parse(json, false, nodes);
}
