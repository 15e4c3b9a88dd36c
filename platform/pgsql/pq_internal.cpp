#include "pq_internal.h"

#include <cstdlib>
#include <cstring>

namespace pgsql::detail {

std::string oneLine(std::string_view text)
{
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        const std::size_t first = line.find_first_not_of(" \t\r");
        const std::size_t last = line.find_last_not_of(" \t\r");
        if (first != std::string_view::npos) {
            if (!out.empty())
                out += "; ";
            out.append(line.substr(first, last - first + 1));
        }
        pos = end + 1;
    }
    return out;
}

std::string errorOf(PGconn* conn, const PGresult* r)
{
    // People read these on the console: the server's own sentence and its
    // detail, without the severity prefix and the context lines.
    const char* primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    if (primary && *primary) {
        std::string text = oneLine(primary);
        if (const char* detail = PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL); detail && *detail)
            text += " (" + oneLine(detail) + ")";
        return text;
    }
    std::string text = oneLine(r ? PQresultErrorMessage(r) : "");
    if (text.empty() && conn)
        text = oneLine(PQerrorMessage(conn));
    if (text.empty())
        text = "the server gave no result";
    return text;
}

Failure failureOf(PGconn* conn, const PGresult* r, std::string_view statement)
{
    Failure f;
    f.statement = statement;
    f.serverText = errorOf(conn, r);
    if (const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr)
        f.sqlstate = state;
    if (const char* pos = r ? PQresultErrorField(r, PG_DIAG_STATEMENT_POSITION) : nullptr)
        f.position = std::atoi(pos);
    f.kind = sessionLost(conn, r) ? FailureKind::ConnectionLost : kindOfState(f.sqlstate);
    return f;
}

bool sessionLost(PGconn* conn, const PGresult* r)
{
    if (!conn || PQstatus(conn) != CONNECTION_OK)
        return true;
    if (!r)
        return false;
    const char* severity = PQresultErrorField(r, PG_DIAG_SEVERITY_NONLOCALIZED);
    return severity && (std::strcmp(severity, "FATAL") == 0 || std::strcmp(severity, "PANIC") == 0);
}

bool rowFault(const PGresult* r)
{
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    return state && (std::strncmp(state, "22", 2) == 0 || std::strncmp(state, "23", 2) == 0);
}

}  // namespace pgsql::detail

namespace pgsql {

std::string_view withoutNul(std::string_view text, std::string& room)
{
    if (text.find('\0') == std::string_view::npos)
        return text;
    room.assign(text);
    std::erase(room, '\0');
    return room;
}

std::string withoutNul(std::string_view text)
{
    std::string room;
    return std::string(withoutNul(text, room));
}

}  // namespace pgsql
