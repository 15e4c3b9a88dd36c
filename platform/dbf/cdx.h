// The tag directory of a structural compound index file (.CDX).
//
// The file is a set of 512-byte pages. Its first two pages are the header of
// the tag directory, itself a B-tree whose keys are the tag names and whose
// "record numbers" are the file offsets of the tags' own headers.
//
// Index header (two pages, numbers little-endian)
//   OFFSET SIZE  DESCRIPTION
//   0      4     root node of this B-tree
//   4      4     free node list (-1 when none)
//   12     2     key length (10 for the tag directory)
//   14     1     options: 0x01 unique, 0x08 FOR clause, 0x20 compact, 0x40 compound header
//   502    2     1 when descending
//   506    2     FOR expression length in the pool (with its NUL)
//   510    2     key expression length in the pool (with its NUL)
//   512    512   pool: key expression, NUL, FOR expression, NUL
//
// Node (one page)
//   0      2     attributes: 0x01 root, 0x02 leaf
//   2      2     number of keys
//   4      4     left sibling (-1 when none)
//   8      4     right sibling (-1 when none)
// interior node, from 12: per key the key bytes, then the record number and
//   the child node, both 4 bytes big-endian
// leaf node:
//   12     2     free bytes in the node
//   14     4     record number mask
//   18     1     duplicate count mask
//   19     1     trailing count mask
//   20     1     bits of the record number
//   21     1     bits of the duplicate count
//   22     1     bits of the trailing count
//   23     1     bytes of one key entry
//   24           key entries: record number, duplicate count and trailing
//                count packed little-endian in that order from the low bits
//   ...512       the keys' own bytes, packed from the end of the page down:
//                each key repeats `duplicate` bytes of the key before it,
//                stores keyLength - duplicate - trailing bytes, and ends in
//                `trailing` blanks
#pragma once

#include "platform/dbf/table.h"

#include <string>
#include <vector>

namespace dbf::detail {

// The tags of the compound index file at path, in the directory's order.
// A fault of the file raises naming it; nothing is read outside the file.
[[nodiscard]] std::vector<IndexTag> readCdxTags(const std::string& path);

}  // namespace dbf::detail
