// The resources of a setup program's image (its .rsrc section): a tree of
// three levels, type, name and language, whose leaves are data blocks.
// kxpack reads the stub's tree, changes or adds leaves and lays the tree out
// anew, keeping every other leaf's bytes as they were.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"

// A type or name: a number, or a UTF-16 name (as resource compilers write
// them, in capitals).
struct ResourceId {
    bool named = false;
    uint16_t number = 0;
    std::u16string name;

    static ResourceId Number(uint16_t value);
    static ResourceId Name(const std::u16string& value);
};

bool operator==(const ResourceId& a, const ResourceId& b);
// The order of a resource directory: names first, by their UTF-16 units,
// then numbers, ascending.
bool operator<(const ResourceId& a, const ResourceId& b);

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    Bytes data;
};

// Well-known types.
const uint16_t RESOURCE_TYPE_ICON = 3;
const uint16_t RESOURCE_TYPE_RCDATA = 10;
const uint16_t RESOURCE_TYPE_GROUP_ICON = 14;
const uint16_t RESOURCE_TYPE_VERSION = 16;

// Reads the tree from a section's raw bytes, the section being loaded at
// `sectionRva` and the tree starting `treeOffset` bytes into it. Leaves
// come out in the tree's order. False, with the reason, for a tree that
// points outside the section, loops, or goes deeper than three levels.
bool ReadResourceTree(const Bytes& section, uint32_t sectionRva, uint32_t treeOffset,
                      std::vector<ResourceEntry>& entries, std::string& error);

// Lays out the tree for a section loaded at `sectionRva`, the tree at its
// start: directories, then the names, then each leaf's data on an 8-byte
// boundary, all in directory order, so the same leaves always give the same
// bytes. Leaves with the same type, name and language: the last one counts.
Bytes WriteResourceTree(std::vector<ResourceEntry> entries, uint32_t sectionRva);

// Replaces the leaf of the same type, name and language, or adds it.
void SetResource(std::vector<ResourceEntry>& entries, const ResourceEntry& entry);
// Removes every leaf of a type (and name, when given); the number removed.
size_t RemoveResources(std::vector<ResourceEntry>& entries, const ResourceId& type, const ResourceId* name = nullptr);
