#include "PeResources.h"

#include <algorithm>
#include <map>

namespace {

const uint32_t DIRECTORY_BYTES = 16;
const uint32_t DIRECTORY_ENTRY_BYTES = 8;
const uint32_t DATA_ENTRY_BYTES = 16;
const uint32_t HIGH_BIT = 0x80000000u;
// Type, name, language.
const int LEVELS = 3;

uint16_t Read16(const Bytes& bytes, size_t at)
{
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t Read32(const Bytes& bytes, size_t at)
{
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void Put16(Bytes& bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

class CTreeReader {
public:
    CTreeReader(const Bytes& section, uint32_t sectionRva, uint32_t treeOffset, std::vector<ResourceEntry>& entries)
        : m_section(section), m_sectionRva(sectionRva), m_tree(treeOffset), m_entries(entries)
    {
    }

    // The directory at `offset` (from the tree's start), at `level`.
    bool ReadDirectory(uint32_t offset, int level, ResourceEntry& path, std::string& error)
    {
        if (!Fits(offset, DIRECTORY_BYTES)) {
            error = "a resource directory lies outside the section";
            return false;
        }
        // Directories come before what they point to in any sane tree; one
        // met twice would make the walk go round for ever.
        for (uint32_t seen : m_directories)
            if (seen == offset) {
                error = "the resource tree loops";
                return false;
            }
        m_directories.push_back(offset);
        uint32_t count = uint32_t(Read16(m_section, m_tree + offset + 12)) + Read16(m_section, m_tree + offset + 14);
        if (!Fits(offset + DIRECTORY_BYTES, uint64_t(count) * DIRECTORY_ENTRY_BYTES)) {
            error = "a resource directory's entries lie outside the section";
            return false;
        }
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t at = m_tree + offset + DIRECTORY_BYTES + i * DIRECTORY_ENTRY_BYTES;
            uint32_t id = Read32(m_section, at), target = Read32(m_section, at + 4);
            ResourceId key;
            if (!ReadId(id, key, error))
                return false;
            if (level == 0)
                path.type = key;
            else if (level == 1)
                path.name = key;
            else if (key.named) {
                error = "a resource language is given by name";
                return false;
            } else {
                path.language = key.number;
            }
            bool directory = (target & HIGH_BIT) != 0;
            if (directory != (level + 1 < LEVELS)) {
                error = directory ? "the resource tree is deeper than type, name and language"
                                  : "a resource leaf stands above the language level";
                return false;
            }
            if (directory ? !ReadDirectory(target & ~HIGH_BIT, level + 1, path, error)
                          : !ReadLeaf(target, path, error))
                return false;
        }
        return true;
    }

private:
    bool Fits(uint64_t offset, uint64_t bytes) const
    {
        return m_tree + offset + bytes <= m_section.size();
    }

    bool ReadId(uint32_t id, ResourceId& key, std::string& error) const
    {
        if (!(id & HIGH_BIT)) {
            if (id > 0xFFFF) {
                error = "a resource number is larger than 65535";
                return false;
            }
            key = ResourceId::Number(static_cast<uint16_t>(id));
            return true;
        }
        uint32_t offset = id & ~HIGH_BIT;
        if (!Fits(offset, 2) || !Fits(offset + 2, uint64_t(Read16(m_section, m_tree + offset)) * 2)) {
            error = "a resource name lies outside the section";
            return false;
        }
        std::u16string name;
        for (uint32_t i = 0, length = Read16(m_section, m_tree + offset); i < length; ++i)
            name.push_back(static_cast<char16_t>(Read16(m_section, m_tree + offset + 2 + 2 * i)));
        key = ResourceId::Name(name);
        return true;
    }

    bool ReadLeaf(uint32_t offset, ResourceEntry& path, std::string& error)
    {
        if (!Fits(offset, DATA_ENTRY_BYTES)) {
            error = "a resource data entry lies outside the section";
            return false;
        }
        uint32_t rva = Read32(m_section, m_tree + offset), size = Read32(m_section, m_tree + offset + 4);
        if (rva < m_sectionRva || uint64_t(rva - m_sectionRva) + size > m_section.size()) {
            error = "a resource's data lies outside the section";
            return false;
        }
        ResourceEntry entry = path;
        entry.codePage = Read32(m_section, m_tree + offset + 8);
        entry.data.assign(m_section.begin() + (rva - m_sectionRva), m_section.begin() + (rva - m_sectionRva) + size);
        m_entries.push_back(std::move(entry));
        return true;
    }

    const Bytes& m_section;
    uint32_t m_sectionRva;
    uint32_t m_tree;
    std::vector<ResourceEntry>& m_entries;
    std::vector<uint32_t> m_directories;
};

uint32_t Align(uint32_t value, uint32_t to)
{
    return (value + to - 1) / to * to;
}

} // namespace

ResourceId ResourceId::Number(uint16_t value)
{
    ResourceId id;
    id.number = value;
    return id;
}

ResourceId ResourceId::Name(const std::u16string& value)
{
    ResourceId id;
    id.named = true;
    id.name = value;
    return id;
}

bool operator==(const ResourceId& a, const ResourceId& b)
{
    return a.named == b.named && (a.named ? a.name == b.name : a.number == b.number);
}

bool operator<(const ResourceId& a, const ResourceId& b)
{
    if (a.named != b.named)
        return a.named;
    return a.named ? a.name < b.name : a.number < b.number;
}

bool ReadResourceTree(const Bytes& section, uint32_t sectionRva, uint32_t treeOffset,
                      std::vector<ResourceEntry>& entries, std::string& error)
{
    entries.clear();
    if (treeOffset > section.size()) {
        error = "the resource tree lies outside its section";
        return false;
    }
    ResourceEntry path;
    CTreeReader reader(section, sectionRva, treeOffset, entries);
    return reader.ReadDirectory(0, 0, path, error);
}

Bytes WriteResourceTree(std::vector<ResourceEntry> entries, uint32_t sectionRva)
{
    // type -> name -> language -> leaf; later leaves replace earlier ones.
    std::map<ResourceId, std::map<ResourceId, std::map<uint16_t, const ResourceEntry*>>> tree;
    for (const ResourceEntry& entry : entries)
        tree[entry.type][entry.name][entry.language] = &entry;

    // Sizes first: the directories, the data entries, the names, the data.
    uint32_t directories = DIRECTORY_BYTES + uint32_t(tree.size()) * DIRECTORY_ENTRY_BYTES, leaves = 0, names = 0;
    for (const auto& type : tree) {
        directories += DIRECTORY_BYTES + uint32_t(type.second.size()) * DIRECTORY_ENTRY_BYTES;
        names += type.first.named ? 2 + 2 * uint32_t(type.first.name.size()) : 0;
        for (const auto& name : type.second) {
            directories += DIRECTORY_BYTES + uint32_t(name.second.size()) * DIRECTORY_ENTRY_BYTES;
            names += name.first.named ? 2 + 2 * uint32_t(name.first.name.size()) : 0;
            leaves += uint32_t(name.second.size()) * DATA_ENTRY_BYTES;
        }
    }
    uint32_t namesAt = directories + leaves, dataAt = Align(namesAt + names, 8), size = dataAt;
    for (const auto& type : tree)
        for (const auto& name : type.second)
            for (const auto& language : name.second)
                size = Align(size + uint32_t(language.second->data.size()), 8);
    Bytes out(size, 0);

    uint32_t nextDirectory = 0, nextLeaf = directories, nextName = namesAt, nextData = dataAt;
    auto directory = [&](uint16_t named, uint16_t numbered) {
        uint32_t at = nextDirectory;
        Put16(out, at + 12, named);
        Put16(out, at + 14, numbered);
        nextDirectory += DIRECTORY_BYTES + (uint32_t(named) + numbered) * DIRECTORY_ENTRY_BYTES;
        return at;
    };
    auto key = [&](const ResourceId& id) {
        if (!id.named)
            return uint32_t(id.number);
        uint32_t at = nextName;
        Put16(out, at, static_cast<uint16_t>(id.name.size()));
        for (size_t i = 0; i < id.name.size(); ++i)
            Put16(out, at + 2 + 2 * i, static_cast<uint16_t>(id.name[i]));
        nextName += 2 + 2 * uint32_t(id.name.size());
        return at | HIGH_BIT;
    };
    auto counts = [](const auto& level) {
        uint16_t named = 0;
        for (const auto& item : level)
            named = static_cast<uint16_t>(named + (item.first.named ? 1 : 0));
        return std::make_pair(named, static_cast<uint16_t>(level.size() - named));
    };

    // Breadth first: the type directory, every name directory, every
    // language directory, so each level's directories lie together.
    auto typeCounts = counts(tree);
    uint32_t root = directory(typeCounts.first, typeCounts.second);
    std::vector<uint32_t> nameDirectories;
    unsigned slot = 0;
    for (const auto& type : tree) {
        auto nameCounts = counts(type.second);
        uint32_t at = directory(nameCounts.first, nameCounts.second);
        nameDirectories.push_back(at);
        Put32(out, root + DIRECTORY_BYTES + slot * DIRECTORY_ENTRY_BYTES, key(type.first));
        Put32(out, root + DIRECTORY_BYTES + slot * DIRECTORY_ENTRY_BYTES + 4, at | HIGH_BIT);
        ++slot;
    }
    unsigned typeIndex = 0;
    for (const auto& type : tree) {
        uint32_t names = nameDirectories[typeIndex++];
        unsigned nameSlot = 0;
        for (const auto& name : type.second) {
            uint32_t languages =
                directory(0, static_cast<uint16_t>(name.second.size()));
            Put32(out, names + DIRECTORY_BYTES + nameSlot * DIRECTORY_ENTRY_BYTES, key(name.first));
            Put32(out, names + DIRECTORY_BYTES + nameSlot * DIRECTORY_ENTRY_BYTES + 4, languages | HIGH_BIT);
            ++nameSlot;
            unsigned languageSlot = 0;
            for (const auto& language : name.second) {
                const ResourceEntry& leaf = *language.second;
                Put32(out, languages + DIRECTORY_BYTES + languageSlot * DIRECTORY_ENTRY_BYTES, language.first);
                Put32(out, languages + DIRECTORY_BYTES + languageSlot * DIRECTORY_ENTRY_BYTES + 4, nextLeaf);
                ++languageSlot;
                Put32(out, nextLeaf, sectionRva + nextData);
                Put32(out, nextLeaf + 4, uint32_t(leaf.data.size()));
                Put32(out, nextLeaf + 8, leaf.codePage);
                nextLeaf += DATA_ENTRY_BYTES;
                std::copy(leaf.data.begin(), leaf.data.end(), out.begin() + nextData);
                nextData = Align(nextData + uint32_t(leaf.data.size()), 8);
            }
        }
    }
    return out;
}

void SetResource(std::vector<ResourceEntry>& entries, const ResourceEntry& entry)
{
    for (ResourceEntry& existing : entries)
        if (existing.type == entry.type && existing.name == entry.name && existing.language == entry.language) {
            existing = entry;
            return;
        }
    entries.push_back(entry);
}

size_t RemoveResources(std::vector<ResourceEntry>& entries, const ResourceId& type, const ResourceId* name)
{
    size_t before = entries.size();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const ResourceEntry& entry) {
                                     return entry.type == type && (!name || entry.name == *name);
                                 }),
                  entries.end());
    return before - entries.size();
}
