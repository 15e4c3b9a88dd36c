// Pictures of a data object: stored as data: URIs (or bare base64), or as
// file names inside the data folder, which are never followed out of it.
#include "dataobject.h"

#include "connection.h"
#include "dataobject_sql.h"

#include "platform/runtime/text.h"

#include <QByteArray>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace pgsql {

namespace fs = std::filesystem;

namespace {

std::string& folderSetting()
{
    static std::string folder;
    return folder;
}

bool isBase64Text(std::string_view s)
{
    if (s.size() < 8 || s.size() % 4 != 0)
        return false;
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '='))
            return false;
    return true;
}

std::string decode64(std::string_view s)
{
    const auto r = QByteArray::fromBase64Encoding(QByteArray(s.data(), static_cast<qsizetype>(s.size())),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    return r ? r.decoded.toStdString() : std::string();
}

std::string readInsideFolder(const std::string& name)
{
    const fs::path rel(name);
    if (name.empty() || rel.has_root_name() || rel.has_root_directory())
        return {};
    for (const fs::path& part : rel)
        if (part == "..")
            return {};
    std::error_code ec;
    const fs::path base = fs::canonical(folderSetting().empty() ? fs::current_path(ec) : fs::path(folderSetting()), ec);
    if (ec)
        return {};
    const fs::path full = fs::canonical(base / rel, ec);  // symlinks resolved
    if (ec)
        return {};
    const fs::path inside = full.lexically_relative(base);
    if (inside.empty() || *inside.begin() == ".." || !fs::is_regular_file(full, ec))
        return {};
    const auto size = fs::file_size(full, ec);
    if (ec || size > static_cast<std::uintmax_t>(kMaxPictureBytes))
        return {};
    std::ifstream in(full, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size)))
        return {};
    return bytes;
}

}  // namespace

void setDataFolder(std::string path) { folderSetting() = std::move(path); }

const std::string& dataFolder() { return folderSetting(); }

std::string pictureBytes(const std::string& stored)
{
    const std::string_view s(stored);
    if (s.substr(0, 5) == "data:") {
        const auto comma = s.find(',');
        if (comma == std::string_view::npos || s.substr(0, comma).find(";base64") == std::string_view::npos)
            return {};
        return decode64(s.substr(comma + 1));
    }
    if (s.size() > 1024 || isBase64Text(s)) {
        std::string compact;
        for (char c : s)
            if (!std::isspace(static_cast<unsigned char>(c)))
                compact += c;
        if (isBase64Text(compact))
            return decode64(compact);
        if (s.size() > 1024)
            return {};
    }
    return readInsideFolder(stored);
}

std::string pictureUri(const std::string& bytes)
{
    if (bytes.empty())
        return {};
    const std::string_view b(bytes);
    std::string type = "application/octet-stream";
    if (b.substr(0, 8) == "\x89PNG\r\n\x1a\n")
        type = "image/png";
    else if (b.substr(0, 3) == "\xff\xd8\xff")
        type = "image/jpeg";
    else if (b.substr(0, 4) == "GIF8")
        type = "image/gif";
    else if (b.substr(0, 2) == "BM")
        type = "image/bmp";
    else if (b.substr(0, 4) == "RIFF" && b.substr(8, 4) == "WEBP")
        type = "image/webp";
    else if (b.find("<svg") != std::string_view::npos && b.find("<svg") < 512)
        type = "image/svg+xml";
    const QByteArray enc = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64();
    return "data:" + type + ";base64," + enc.toStdString();
}

rt::Value DataObject::fieldGetPicture(const std::string& column)
{
    begin();
    if (pendingPicture_)
        return rt::Value(*pendingPicture_ ? pictureBytes(**pendingPicture_) : std::string());
    if (!column.empty() && bare(column) != pictureCol_) {
        const rt::Value v = fieldGet(column);
        return rt::Value(v.isChar() ? pictureBytes(rt::rtrim(v.asString())) : std::string());
    }
    if (pictureCol_.empty() || !hasPicture_)
        return rt::Value("");
    const rt::Value v = fieldGet(pictureCol_);
    return rt::Value(v.isChar() ? pictureBytes(v.str()) : std::string());
}

void DataObject::fieldPutPicture(const std::string& bytes)
{
    begin();
    if (bytes.empty())
        pendingPicture_ = std::optional<std::string>();
    else
        pendingPicture_ = std::optional<std::string>(pictureUri(bytes));
}

}  // namespace pgsql
