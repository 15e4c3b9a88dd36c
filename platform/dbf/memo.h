// Memo files: the blocks that hold a table's memo texts.
//
// .FPT (block size from the header, numbers big-endian)
//   OFFSET SIZE  DESCRIPTION
//   0      4     next free block
//   6      2     block size in bytes
//   512          first block (block numbers count from the file start)
//   block: 4 bytes type (0 picture, 1 text, 2 object), 4 bytes length, data
//
// .DBT, dBASE III (blocks of 512 bytes, numbers little-endian)
//   0      4     next free block
//   block: text ended by 0x1A (we write two, as the format's writers do)
//
// .DBT, dBASE IV (numbers little-endian)
//   0      4     next free block
//   8      8     table name
//   20     2     block size in bytes
//   block: FF FF 08 00, 4 bytes length counting these 8 bytes, data
//
// Block 0 is the header, so pointer 0 in a record means "no memo". New texts
// are always appended: the record keeps pointing at its old text until the
// record itself is written, so a crash in between loses nothing.
#pragma once

#include "table_format.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace dbf::detail {

class MemoFile {
public:
    enum class Kind { Fpt, Dbt3, Dbt4 };

    // Opens an existing memo file; a header that cannot be right raises.
    // readOnly becomes true when the file cannot be written.
    MemoFile(const std::string& path, Kind kind, bool& readOnly);

    // The bytes of a new memo file's header.
    [[nodiscard]] static std::string header(Kind kind, std::string_view tableName);

    [[nodiscard]] const std::string& path() const noexcept { return file_.path(); }
    [[nodiscard]] Kind kind() const noexcept { return kind_; }

    // The stored bytes of block `block`; raises when it lies outside the file.
    [[nodiscard]] std::string read(std::uint32_t block) const;
    // Stores bytes in new blocks at the end and returns the first block.
    std::uint32_t write(std::string_view data, bool text);

private:
    [[nodiscard]] std::uint32_t nextFree() const;

    File file_;
    Kind kind_;
    std::uint32_t blockSize_ = 512;
};

}  // namespace dbf::detail
