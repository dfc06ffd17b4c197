// Icons as a program's resources: each image an RT_ICON leaf, and an
// RT_GROUP_ICON leaf listing them (GRPICONDIR: the .ico directory with each
// image's offset replaced by the number of its RT_ICON).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "IconFile.h"
#include "PeResources.h"

// The setup program's icon groups. Explorer shows a program's lowest
// numbered group, so 23 is the installer's face.
const uint16_t INSTALLER_ICON_GROUP = 23;
const uint16_t UNINSTALLER_ICON_GROUP = 33;

// Replaces icon group `group` (or adds it) with the images of `icon`. The
// RT_ICON leaves the old group listed go, unless another group lists them
// too; the new images take the lowest free RT_ICON numbers from 1 up, so
// the same resources and icon always give the same numbers. Group and
// images take the old group leaf's language (the lowest, when it had
// several, all of which are replaced), else `language`. False, with the
// reason, for an icon without images, a group that cannot be read (its
// icons could not be told apart from others') or no free numbers left.
bool SetIconGroup(std::vector<ResourceEntry>& entries, uint16_t group, uint16_t language, const IconFile& icon,
                  std::string& error);

struct IconGroupInfo {
    uint16_t language = 0;
    // In the group's order: size, depth and bytes as the group gives them,
    // PNG when the image's bytes begin as one.
    std::vector<IconImageInfo> images;
    std::vector<uint16_t> iconIds; // the RT_ICON number of each image
};

// Reads icon group `group` (the lowest language, when there are several)
// and checks it against the RT_ICON leaves it lists: each is there (in the
// group's language, or else any) and of the size in bytes the group gives.
// The images themselves are not looked into (ReadIconImage does that).
bool ReadIconGroup(const std::vector<ResourceEntry>& entries, uint16_t group, IconGroupInfo& info,
                   std::string& error);
