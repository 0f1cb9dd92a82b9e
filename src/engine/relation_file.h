#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace keldrive {

// Folder key value (depth × 2^32 + cluster) → the record numbers of the folder's children,
// in the order they were added.
using RelationMap = std::map<std::uint64_t, std::vector<std::uint32_t>>;

// The text of one group: " | " key " - [" children joined with "," "]".
void AppendRelationGroup(std::string& out, std::uint64_t key,
                         const std::vector<std::uint32_t>& children);

// Reads the groups of a relation file. Record numbers that are 0 or above `recordCount` are
// left out (they could only point at records that do not exist); a group cut off or
// malformed ends the reading, keeping the groups before it. An empty bracket pair gives an
// empty list.
RelationMap ParseRelationText(std::string_view text, std::uint64_t recordCount);

}  // namespace keldrive
