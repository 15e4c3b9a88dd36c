#include "failure.h"

#include <cstdio>
#include <utility>

namespace pgsql {

namespace {

FailureReporter& reporter()
{
    static FailureReporter r;
    return r;
}

}  // namespace

FailureKind kindOfState(std::string_view s) noexcept
{
    if (s == "23505")
        return FailureKind::DuplicateKey;
    // 22001: a text longer than its column; 22003: a number with more digits.
    if (s == "22001" || s == "22003")
        return FailureKind::ValueTooLong;
    if (s == "40001")
        return FailureKind::Conflict;
    // Class 08 (connection exception) and the administrator's shutdowns.
    if (s.substr(0, 2) == "08" || s == "57P01" || s == "57P02" || s == "57P03")
        return FailureKind::ConnectionLost;
    return FailureKind::Other;
}

FailureReporter setFailureReporter(FailureReporter r)
{
    FailureReporter old = std::move(reporter());
    reporter() = std::move(r);
    return old;
}

void reportFailure(const Failure& f)
{
    if (reporter()) {
        reporter()(f);
        return;
    }
    std::fprintf(stderr, "dxc: %s: %s%s%s\n", f.table.c_str(), f.serverText.c_str(),
                 f.sqlstate.empty() ? "" : " SQLSTATE ", f.sqlstate.c_str());
}

}  // namespace pgsql
