// What the import tells about a table besides its lines: rejected records,
// values the DBF could not give, and the progress of a long load.
#include "app/console_lines.h"
#include "app/dxc.h"
#include "app/import_internal.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace app::import {

namespace {

// Bytes of a DBF field as a reader can see them: printable ASCII as it is,
// any other byte as \xNN.
std::string shownBytes(std::string_view bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && c != '\\') {
            out += c;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        }
    }
    return out;
}

const char* faultText(dbf::ValueFault::Kind kind)
{
    switch (kind) {
    case dbf::ValueFault::Kind::NotANumber: return "no es un número";
    case dbf::ValueFault::Kind::Overflow: return "número desbordado";
    case dbf::ValueFault::Kind::NotADate: return "no es una fecha";
    case dbf::ValueFault::Kind::NotADateTime: return "no es una fecha y hora";
    case dbf::ValueFault::Kind::BadMemo: return "memo ilegible";
    case dbf::ValueFault::Kind::NulBytes: return "bytes NUL";
    }
    return "ilegible";
}

// Which memo block could not be read, and why, when the engine knows.
std::string memoText(const dbf::ValueFault& f)
{
    if (f.kind != dbf::ValueFault::Kind::BadMemo || f.memoBlock < 0)
        return {};
    const std::string block = " (bloque " + std::to_string(f.memoBlock);
    if (f.memoLength >= 0)
        return block + ", de " + std::to_string(f.memoLength) + " bytes que pasan del final del archivo memo)";
    return block + ", fuera del archivo memo)";
}

}  // namespace

void RejectReport::add(std::int64_t recno, const std::string& message)
{
    lines_.emplace(recno, "Registro " + std::to_string(recno) + " de " + table_ + " rechazado: " + message);
    if (static_cast<int>(lines_.size()) > kRejectedListed) {
        lines_.erase(std::prev(lines_.end()));
        ++unlisted_;
    }
}

void RejectReport::print() const
{
    for (const auto& [recno, line] : lines_)
        out({rt::Value(line)});
    if (unlisted_)
        out({rt::Value("Otros " + std::to_string(unlisted_) + " registros de " + table_ + " rechazados")});
}

pgsql::RejectFn RejectReport::callback()
{
    return [this](std::int64_t recno, const pgsql::Failure& why) { add(recno, why.serverText); };
}

void FaultReport::add(const dbf::ValueFault& f)
{
    if (static_cast<int>(lines_.size()) >= kRejectedListed) {
        ++unlisted_;
        return;
    }
    const std::string where =
        "Registro " + std::to_string(f.recno) + " de " + table_ + ", campo " + dbf_.fields()[std::size_t(f.field)].name;
    // PostgreSQL's text cannot hold NUL: the value goes without them.
    if (f.kind == dbf::ValueFault::Kind::NulBytes)
        lines_.push_back(where + ": " +
                         (f.nuls == 1 ? std::string("1 byte NUL quitado") : std::to_string(f.nuls) + " bytes NUL quitados") +
                         " del texto");
    else
        lines_.push_back(where + ": \"" + shownBytes(f.bytes) + "\" " + faultText(f.kind) + memoText(f) +
                         ", importado como NULL");
}

void FaultReport::print() const
{
    for (const std::string& l : lines_)
        out({rt::Value(l)});
    if (unlisted_)
        out({rt::Value("Otros " + std::to_string(unlisted_) + " valores ilegibles de " + table_ +
                       " importados como NULL")});
}

Progress::Progress(std::uint32_t total) : on_(total > 0 && ::isatty(2) == 1), total_(total) {}

void Progress::step(std::uint32_t done)
{
    if (!on_ || (done & 0x3FF) != 0)
        return;
    const auto now = Clock::now();
    if (now - last_ < std::chrono::milliseconds(250))
        return;
    last_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double rate = elapsed > 0 ? done / elapsed : 0;
    char buf[96];
    std::snprintf(buf, sizeof buf, " %u de %u registros, %.0f/s, quedan %.0f s", done, total_, rate,
                  rate > 0 ? (total_ - std::min(done, total_)) / rate : 0.0);
    show(buf);
}

void Progress::finish()
{
    show({});
    on_ = false;
}

// Replaces the note shown (on the console's open line) with `text`.
void Progress::show(std::string_view text)
{
    std::string out;
    if (shown_ > 0)
        out = "\033[" + std::to_string(shown_) + "D\033[K";
    out += text;
    shown_ = text.size();
    for (std::string_view rest = out; !rest.empty();) {
        const ssize_t n = ::write(2, rest.data(), rest.size());
        if (n <= 0)
            break;
        rest.remove_prefix(std::size_t(n));
    }
}

}  // namespace app::import
