#include "IconResources.h"

#include <algorithm>
#include <set>

#include "TextCodec.h"

namespace {

const size_t GROUP_HEADER_BYTES = 6;
const size_t GROUP_ENTRY_BYTES = 14;

struct GroupEntry {
    unsigned width = 0;
    unsigned height = 0;
    uint16_t bitCount = 0;
    uint32_t bytes = 0;
    uint16_t id = 0;
};

std::string NameText(const ResourceId& id)
{
    return id.named ? "\"" + ToUtf8(id.name) + "\"" : std::to_string(id.number);
}

bool ParseGroup(const Bytes& data, std::vector<GroupEntry>& list, std::string& error)
{
    list.clear();
    if (data.size() < GROUP_HEADER_BYTES) {
        error = "is shorter than its header (" + std::to_string(data.size()) + " bytes)";
        return false;
    }
    if (ReadU16(data.data()) != 0 || ReadU16(data.data() + 2) != 1) {
        error = "does not begin as an icon group";
        return false;
    }
    size_t count = ReadU16(data.data() + 4);
    if (GROUP_HEADER_BYTES + count * GROUP_ENTRY_BYTES > data.size()) {
        error = "lists " + std::to_string(count) + " images but has only " + std::to_string(data.size()) + " bytes";
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = data.data() + GROUP_HEADER_BYTES + i * GROUP_ENTRY_BYTES;
        GroupEntry entry;
        entry.width = p[0] ? p[0] : 256;
        entry.height = p[1] ? p[1] : 256;
        entry.bitCount = ReadU16(p + 6);
        entry.bytes = ReadU32(p + 8);
        entry.id = ReadU16(p + 12);
        list.push_back(entry);
    }
    return true;
}

bool IsGroupLeaf(const ResourceEntry& entry)
{
    return entry.type == ResourceId::Number(RESOURCE_TYPE_GROUP_ICON);
}

bool IsIconLeaf(const ResourceEntry& entry)
{
    return entry.type == ResourceId::Number(RESOURCE_TYPE_ICON) && !entry.name.named;
}

// The directory's width or height byte: 256 is written as 0.
uint8_t SizeByte(unsigned size)
{
    return static_cast<uint8_t>(size >= 256 ? 0 : size);
}

void AppendU16(Bytes& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

Bytes GroupData(const IconFile& icon, const std::vector<uint16_t>& ids)
{
    Bytes out;
    AppendU16(out, 0);
    AppendU16(out, 1);
    AppendU16(out, static_cast<uint16_t>(icon.images.size()));
    for (size_t i = 0; i < icon.images.size(); ++i) {
        const IconImageInfo& info = icon.images[i].info;
        out.push_back(SizeByte(info.width));
        out.push_back(SizeByte(info.height));
        // Colours in the palette; 0 for 8 bits and more.
        out.push_back(static_cast<uint8_t>(info.bitCount < 8 ? 1u << info.bitCount : 0));
        out.push_back(0);
        AppendU16(out, 1); // planes
        AppendU16(out, info.bitCount);
        AppendU32(out, static_cast<uint32_t>(icon.images[i].data.size()));
        AppendU16(out, ids[i]);
    }
    return out;
}

} // namespace

bool SetIconGroup(std::vector<ResourceEntry>& entries, uint16_t group, uint16_t language, const IconFile& icon,
                  std::string& error)
{
    if (icon.images.empty() || icon.images.size() > 0xFFFF) {
        error = "an icon group holds 1 to 65535 images, not " + std::to_string(icon.images.size());
        return false;
    }
    const ResourceId name = ResourceId::Number(group);
    // The icons the old group lists, and those other groups list.
    std::set<uint16_t> oldIds, otherIds;
    bool hadGroup = false;
    uint16_t groupLanguage = language;
    for (const ResourceEntry& entry : entries) {
        if (!IsGroupLeaf(entry))
            continue;
        std::vector<GroupEntry> list;
        std::string problem;
        if (!ParseGroup(entry.data, list, problem)) {
            error = "icon group " + NameText(entry.name) + " " + problem;
            return false;
        }
        bool ours = entry.name == name;
        for (const GroupEntry& item : list)
            (ours ? oldIds : otherIds).insert(item.id);
        if (ours) {
            groupLanguage = hadGroup ? std::min(groupLanguage, entry.language) : entry.language;
            hadGroup = true;
        }
    }
    auto goes = [&](const ResourceEntry& entry) {
        if (IsGroupLeaf(entry))
            return entry.name == name;
        return IsIconLeaf(entry) && oldIds.count(entry.name.number) && !otherIds.count(entry.name.number);
    };

    // Numbers for the new images, found before anything changes.
    std::set<uint16_t> used;
    for (const ResourceEntry& entry : entries)
        if (IsIconLeaf(entry) && !goes(entry))
            used.insert(entry.name.number);
    std::vector<uint16_t> ids;
    for (uint32_t id = 1; id <= 0xFFFF && ids.size() < icon.images.size(); ++id)
        if (!used.count(static_cast<uint16_t>(id)))
            ids.push_back(static_cast<uint16_t>(id));
    if (ids.size() < icon.images.size()) {
        error = "no free icon numbers are left for " + std::to_string(icon.images.size()) + " images";
        return false;
    }

    entries.erase(std::remove_if(entries.begin(), entries.end(), goes), entries.end());
    for (size_t i = 0; i < icon.images.size(); ++i) {
        ResourceEntry leaf;
        leaf.type = ResourceId::Number(RESOURCE_TYPE_ICON);
        leaf.name = ResourceId::Number(ids[i]);
        leaf.language = groupLanguage;
        leaf.data = icon.images[i].data;
        SetResource(entries, leaf);
    }
    ResourceEntry leaf;
    leaf.type = ResourceId::Number(RESOURCE_TYPE_GROUP_ICON);
    leaf.name = name;
    leaf.language = groupLanguage;
    leaf.data = GroupData(icon, ids);
    SetResource(entries, leaf);
    return true;
}

bool ReadIconGroup(const std::vector<ResourceEntry>& entries, uint16_t group, IconGroupInfo& info,
                   std::string& error)
{
    info = IconGroupInfo();
    const ResourceId name = ResourceId::Number(group);
    const ResourceEntry* groupLeaf = nullptr;
    for (const ResourceEntry& entry : entries)
        if (IsGroupLeaf(entry) && entry.name == name && (!groupLeaf || entry.language < groupLeaf->language))
            groupLeaf = &entry;
    std::string which = "icon group " + std::to_string(group);
    if (!groupLeaf) {
        error = "there is no " + which;
        return false;
    }
    std::vector<GroupEntry> list;
    std::string problem;
    if (!ParseGroup(groupLeaf->data, list, problem)) {
        error = which + " " + problem;
        return false;
    }
    if (list.empty()) {
        error = which + " lists no images";
        return false;
    }
    info.language = groupLeaf->language;
    for (const GroupEntry& item : list) {
        const ResourceEntry* image = nullptr;
        for (const ResourceEntry& entry : entries)
            if (IsIconLeaf(entry) && entry.name.number == item.id &&
                (!image || (entry.language == info.language && image->language != info.language)))
                image = &entry;
        std::string icon = "icon " + std::to_string(item.id);
        if (!image) {
            error = which + " lists " + icon + ", which is not among the resources";
            return false;
        }
        if (image->data.size() != item.bytes) {
            error = which + " gives " + icon + " as " + std::to_string(item.bytes) + " bytes, but it has " +
                    std::to_string(image->data.size());
            return false;
        }
        IconImageInfo read;
        read.width = item.width;
        read.height = item.height;
        read.bitCount = item.bitCount;
        read.bytes = item.bytes;
        read.png = IsPngImage(image->data.data(), image->data.size());
        info.images.push_back(read);
        info.iconIds.push_back(item.id);
    }
    return true;
}
